#include "conversion/ArtworkReader.h"
#include "conversion/ConversionFixture.h"
#include "conversion/ImageCodec.h"

namespace kelvara::test {
namespace {

Image solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
            std::uint8_t a = 255) {
    Image image{width, height, 4, {}};
    for (int i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), {r, g, b, a});
    return image;
}

std::uint8_t alphaAt(const Image& image, int x, int y) {
    return image.pixels[(std::size_t(y) * image.width + x) * 4 + 3];
}

TEST(ImageCodecTest, ProportionalScalingLetterBoxesAndCentres) {
    struct Case {
        float w, h, tw, th, x, y, width, height;
    };
    const Case cases[] = {
        {600, 300, 29, 29, 0, 7.25f, 29, 14.5f},  // wide: centred vertically
        {29, 29, 29, 29, 0, 0, 29, 29},
        {10, 20, 29, 29, 7.25f, 0, 14.5f, 29},  // tall: centred horizontally
        // Scaling happens only when the areas differ: 20 x 10 into 10 x 20 fills the target.
        {20, 10, 10, 20, 0, 0, 10, 20},
    };
    for (const Case& c : cases) {
        const auto rect = ImageCodec::proportionalRect(c.w, c.h, c.tw, c.th);
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        EXPECT_FLOAT_EQ(rect.x, c.x);
        EXPECT_FLOAT_EQ(rect.y, c.y);
        EXPECT_FLOAT_EQ(rect.width, c.width);
        EXPECT_FLOAT_EQ(rect.height, c.height);
    }
    // Equal factors keep the origin at (0, 0); the size is w x scale in single precision, exactly.
    const auto square = ImageCodec::proportionalRect(3, 3, 29, 29);
    EXPECT_EQ(square.x, 0.0f);
    EXPECT_EQ(square.y, 0.0f);
    EXPECT_EQ(square.width, 3.0f * (29.0f / 3.0f));

    const auto scaled =
        ImageCodec::imageByScalingProportionallyToSize(solid(600, 300, 200, 10, 10), 29, 29);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->width, 29);
    EXPECT_EQ(scaled->height, 29);
    EXPECT_EQ(alphaAt(*scaled, 14, 6), 0);         // above the picture: transparent
    EXPECT_NEAR(alphaAt(*scaled, 14, 7), 191, 1);  // three quarters covered
    EXPECT_EQ(alphaAt(*scaled, 14, 14), 255);
    EXPECT_EQ(scaled->pixels[(14 * 29 + 14) * 4], 200);
    EXPECT_NEAR(alphaAt(*scaled, 14, 21), 191, 1);
    EXPECT_EQ(alphaAt(*scaled, 14, 22), 0);

    const auto enlarged =
        ImageCodec::imageByScalingProportionallyToSize(solid(10, 20, 0, 0, 255), 29, 29);
    ASSERT_TRUE(enlarged);
    EXPECT_EQ(alphaAt(*enlarged, 6, 10), 0);
    EXPECT_EQ(alphaAt(*enlarged, 14, 10), 255);
    EXPECT_EQ(alphaAt(*enlarged, 22, 10), 0);

    EXPECT_FALSE(ImageCodec::imageByScalingProportionallyToSize(Image{}, 29, 29));
}

TEST(ImageCodecTest, JpegQualityFollowsTheCompressionFactor) {
    EXPECT_EQ(ImageCodec::jpegQuality(1.0f), 100);
    EXPECT_EQ(ImageCodec::jpegQuality(0.9f), 90);
    EXPECT_EQ(ImageCodec::jpegQuality(0.0f), 1);
    const auto source = readFile(Sources::get()["jpegcover/Cover.jpg"]);
    const auto best = ImageCodec::JpegRepresentationOfImage(source, 1.0f);
    const auto smaller = ImageCodec::JpegRepresentationOfImage(source, 0.9f);
    ASSERT_TRUE(best && smaller);
    EXPECT_GT(best->size(), smaller->size());
    // Baseline: a SOF0 marker.
    EXPECT_NE(best->find("\xFF\xC0"), std::string::npos);
    const auto decoded = ImageCodec::decode(*best);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 300);
    EXPECT_EQ(decoded->height, 200);
    EXPECT_FALSE(ImageCodec::JpegRepresentationOfImage("not an image"));
}

TEST(ImageCodecTest, TransparentPngBecomesJpegOnWhite) {
    const auto png = ImageCodec::encodePng(solid(8, 8, 0, 0, 0, 0));
    ASSERT_TRUE(png);
    const auto jpeg = ImageCodec::JpegRepresentationOfImage(*png);
    ASSERT_TRUE(jpeg);
    const auto image = ImageCodec::decode(*jpeg);
    ASSERT_TRUE(image);
    EXPECT_GT(image->pixels[0], 250);
}

TEST(ArtworkReaderTest, PrefersTheEmbeddedPictureThenACoverBesideTheFile) {
    const auto embedded = ArtworkReader::artworkForFile(Sources::get()["covered.mp3"]);
    ASSERT_TRUE(embedded);
    EXPECT_EQ(ImageCodec::formatOf(*embedded), ImageCodec::Format::Jpeg);
    const auto beside = ArtworkReader::artworkForFile(Sources::get()["pngcover/song.wav"]);
    ASSERT_TRUE(beside);
    EXPECT_EQ(ImageCodec::formatOf(*beside), ImageCodec::Format::Png);
    EXPECT_FALSE(ArtworkReader::artworkForFile(Sources::get()["stereo.wav"]));
}

class AlbumArtworkTest : public ConversionTest {};

TEST_F(AlbumArtworkTest, WritesARealPngOnlyWhenNothingIsThere) {
    const auto& covered = song(Sources::get()["covered.mp3"]);
    ASSERT_TRUE(converter_.writeAlbumArtwork(covered, out_ / "Artist - Album.png"));
    const auto png = readFile(out_ / "Artist - Album.png");
    EXPECT_EQ(ImageCodec::formatOf(png), ImageCodec::Format::Png);
    const auto image = ImageCodec::decode(png);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 300);
    const auto ffprobe =
        runCommand({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                    "default=nw=1", (out_ / "Artist - Album.png").string()});
    EXPECT_EQ(ffprobe.out, "codec_name=png\n");

    writeFile(out_ / "existing.png", "mine");
    EXPECT_FALSE(converter_.writeAlbumArtwork(covered, out_ / "existing.png"));
    EXPECT_EQ(readFile(out_ / "existing.png"), "mine");

    EXPECT_FALSE(
        converter_.writeAlbumArtwork(song(Sources::get()["stereo.wav"]), out_ / "none.png"));
    EXPECT_FALSE(std::filesystem::exists(out_ / "none.png"));
}

}  // namespace
}  // namespace kelvara::test
