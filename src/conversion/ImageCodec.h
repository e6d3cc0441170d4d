#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvara {

// A decoded picture: 8-bit RGB or RGBA, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;  // 3 or 4
    std::vector<std::uint8_t> pixels;

    bool isValid() const {
        return width > 0 && height > 0 && (channels == 3 || channels == 4) &&
               pixels.size() == std::size_t(width) * std::size_t(height) * std::size_t(channels);
    }
};

// Where a proportionally scaled picture is drawn inside its target square.
struct ScaledRect {
    float x = 0, y = 0, width = 0, height = 0;
};

// Artwork images: decoding whatever the artwork is (JPEG, PNG), JPEG at a compression factor,
// PNG, and the letter-boxed proportional scaling of the item icons.
class ImageCodec {
  public:
    enum class Format { Unknown, Jpeg, Png };
    static Format formatOf(const std::string& data);

    // None for data that is not a whole JPEG or PNG, and for pictures over maxPixels, which are
    // refused from their header, before anything is allocated for them.
    static std::optional<Image> decode(const std::string& data);
    // Width and height as the JPEG or PNG header states them, without decoding.
    static std::optional<std::pair<std::uint32_t, std::uint32_t>> dimensions(
        const std::string& data);
    static constexpr std::uint64_t maxPixels = 100'000'000;
    static bool isTooLarge(const std::string& data);

    // Compression factor 0.0 (smallest) to 1.0 (best) onto libjpeg's quality 1 to 100.
    static int jpegQuality(float compressionFactor);
    // Baseline JPEG; transparent parts are laid on white, since JPEG has no alpha.
    static std::optional<std::string> encodeJpeg(const Image& image, float compressionFactor);
    static std::optional<std::string> encodePng(const Image& image);

    // The artwork as JPEG data, whatever format it is stored in. 1.0 for the M4A artwork.
    static std::optional<std::string> JpegRepresentationOfImage(const std::string& imageData,
                                                                float compressionFactor = 1.0f);

    // The rectangle a w x h picture occupies when fitted into tw x th, centred along the axis
    // with room to spare; single-precision arithmetic.
    static ScaledRect proportionalRect(float w, float h, float tw, float th);
    // A new RGBA picture of exactly tw x th with the image drawn into proportionalRect; the rest
    // is transparent. None for an invalid image or an empty target.
    static std::optional<Image> imageByScalingProportionallyToSize(const Image& image, int tw,
                                                                   int th);
};

}  // namespace kelvara
