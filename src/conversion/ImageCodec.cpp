#include "conversion/ImageCodec.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kelvara {
namespace {

// libjpeg reports fatal errors by calling error_exit; return to the caller instead of exiting.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
void jpegSilence(j_common_ptr, int) {}

// Only plain C objects live in the frames between setjmp and longjmp; the outputs belong to the
// caller, so nothing with a destructor is skipped.
bool decodeJpegInto(const std::uint8_t* data, std::size_t size, Image& out,
                    std::vector<std::uint8_t>& scratch) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.emit_message = jpegSilence;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (std::uint64_t(info.image_width) * info.image_height > ImageCodec::maxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.channels = 3;
    out.pixels.resize(std::size_t(out.width) * out.height * 3);
    scratch.resize(std::size_t(out.width) * components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = scratch.data();
        const std::size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
        std::uint8_t* target = out.pixels.data() + y * out.width * 3;
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* p = scratch.data() + std::size_t(x) * components;
            if (cmyk) {
                // Adobe writes CMYK inverted; K scales the other three.
                for (int c = 0; c < 3; ++c) target[x * 3 + c] = std::uint8_t(p[c] * p[3] / 255);
            } else {
                std::memcpy(target + x * 3, p, 3);
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

struct JpegBufferFree {
    void operator()(unsigned char* buffer) const { std::free(buffer); }
};

// `buffer` belongs to the caller, which frees it on every path.
bool encodeJpegInto(const Image& rgb, int quality, unsigned char*& buffer, unsigned long& size) {
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.emit_message = jpegSilence;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(rgb.width);
    info.image_height = static_cast<JDIMENSION>(rgb.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.pixels.data() +
                                            std::size_t(info.next_scanline) * rgb.width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

struct PngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

std::optional<Image> decodePng(const std::string& data) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, PngImageFree> guard(&png);
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size()) ||
        std::uint64_t(png.width) * png.height > ImageCodec::maxPixels)
        return std::nullopt;
    png.format = PNG_FORMAT_RGBA;
    Image image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.channels = 4;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) return std::nullopt;
    return image;
}

// The size a JPEG header states; false when the header cannot be read.
bool jpegDimensions(const std::string& data, std::uint32_t& width, std::uint32_t& height) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.emit_message = jpegSilence;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    width = info.image_width;
    height = info.image_height;
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

std::optional<std::pair<std::uint32_t, std::uint32_t>> ImageCodec::dimensions(
    const std::string& data) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    switch (formatOf(data)) {
        case Format::Jpeg:
            if (!jpegDimensions(data, width, height)) return std::nullopt;
            break;
        case Format::Png: {
            png_image png{};
            png.version = PNG_IMAGE_VERSION;
            std::unique_ptr<png_image, PngImageFree> guard(&png);
            if (!png_image_begin_read_from_memory(&png, data.data(), data.size()))
                return std::nullopt;
            width = png.width;
            height = png.height;
            break;
        }
        case Format::Unknown:
            return std::nullopt;
    }
    return std::make_pair(width, height);
}

bool ImageCodec::isTooLarge(const std::string& data) {
    const auto size = dimensions(data);
    return size && std::uint64_t(size->first) * size->second > maxPixels;
}

ImageCodec::Format ImageCodec::formatOf(const std::string& data) {
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xFF &&
        static_cast<unsigned char>(data[1]) == 0xD8 && static_cast<unsigned char>(data[2]) == 0xFF)
        return Format::Jpeg;
    if (data.size() >= 8 && data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return Format::Png;
    return Format::Unknown;
}

std::optional<Image> ImageCodec::decode(const std::string& data) {
    switch (formatOf(data)) {
        case Format::Jpeg: {
            Image image;
            std::vector<std::uint8_t> scratch;
            if (!decodeJpegInto(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                                image, scratch) ||
                !image.isValid())
                return std::nullopt;
            return image;
        }
        case Format::Png: {
            auto image = decodePng(data);
            if (image && !image->isValid()) return std::nullopt;
            return image;
        }
        case Format::Unknown:
            break;
    }
    return std::nullopt;
}

int ImageCodec::jpegQuality(float compressionFactor) {
    const float clamped = std::clamp(compressionFactor, 0.0f, 1.0f);
    return std::max(1, static_cast<int>(std::lround(clamped * 100.0f)));
}

std::optional<std::string> ImageCodec::encodeJpeg(const Image& image, float compressionFactor) {
    if (!image.isValid()) return std::nullopt;
    Image rgb;
    const Image* source = &image;
    if (image.channels == 4) {
        rgb.width = image.width;
        rgb.height = image.height;
        rgb.channels = 3;
        rgb.pixels.resize(std::size_t(image.width) * image.height * 3);
        const std::size_t count = std::size_t(image.width) * image.height;
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned alpha = image.pixels[i * 4 + 3];
            for (int c = 0; c < 3; ++c)
                rgb.pixels[i * 3 + c] = std::uint8_t(
                    (image.pixels[i * 4 + c] * alpha + 255 * (255 - alpha) + 127) / 255);
        }
        source = &rgb;
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool encoded = encodeJpegInto(*source, jpegQuality(compressionFactor), buffer, size);
    std::unique_ptr<unsigned char, JpegBufferFree> owned(buffer);
    if (!encoded || !buffer) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

std::optional<std::string> ImageCodec::encodePng(const Image& image) {
    if (!image.isValid()) return std::nullopt;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = image.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::unique_ptr<png_image, PngImageFree> guard(&png);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr))
        return std::nullopt;
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), 0, nullptr))
        return std::nullopt;
    out.resize(size);
    return out;
}

std::optional<std::string> ImageCodec::JpegRepresentationOfImage(const std::string& imageData,
                                                                 float compressionFactor) {
    const auto image = decode(imageData);
    if (!image) return std::nullopt;
    return encodeJpeg(*image, compressionFactor);
}

ScaledRect ImageCodec::proportionalRect(float w, float h, float tw, float th) {
    ScaledRect rect{0, 0, tw, th};
    if (w * h != tw * th) {
        const float wf = tw / w;
        const float hf = th / h;
        const float scale = wf < hf ? wf : hf;
        rect.width = w * scale;
        rect.height = h * scale;
        if (wf < hf)
            rect.y = (th - rect.height) * 0.5f;
        else if (wf > hf)
            rect.x = (tw - rect.width) * 0.5f;
    }
    return rect;
}

namespace {

// For each target pixel along one axis, the source pixels it covers and by how much (in target
// pixel units), so that reductions average and edge pixels get partial coverage.
struct Span {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Span> spans(int target, float origin, float extent, int source) {
    std::vector<Span> result(static_cast<std::size_t>(target));
    const float scale = extent / static_cast<float>(source);  // target units per source pixel
    for (int t = 0; t < target; ++t) {
        const float lo = std::max(float(t), origin);
        const float hi = std::min(float(t + 1), origin + extent);
        if (hi <= lo) continue;
        const float sLo = (lo - origin) / scale;
        const float sHi = (hi - origin) / scale;
        Span& span = result[static_cast<std::size_t>(t)];
        span.first = std::clamp(static_cast<int>(std::floor(sLo)), 0, source - 1);
        const int last = std::clamp(static_cast<int>(std::ceil(sHi)) - 1, span.first, source - 1);
        for (int s = span.first; s <= last; ++s) {
            const float overlap = std::min(sHi, float(s + 1)) - std::max(sLo, float(s));
            span.weights.push_back(std::max(0.0f, overlap) * scale);
        }
    }
    return result;
}

}  // namespace

std::optional<Image> ImageCodec::imageByScalingProportionallyToSize(const Image& image, int tw,
                                                                    int th) {
    if (!image.isValid() || tw <= 0 || th <= 0) return std::nullopt;
    const ScaledRect rect =
        proportionalRect(float(image.width), float(image.height), float(tw), float(th));
    const auto columns = spans(tw, rect.x, rect.width, image.width);
    const auto rows = spans(th, rect.y, rect.height, image.height);
    Image out;
    out.width = tw;
    out.height = th;
    out.channels = 4;
    out.pixels.assign(std::size_t(tw) * th * 4, 0);
    const int channels = image.channels;
    for (int y = 0; y < th; ++y) {
        const Span& row = rows[std::size_t(y)];
        for (int x = 0; x < tw; ++x) {
            const Span& column = columns[std::size_t(x)];
            float sum[4] = {0, 0, 0, 0};  // premultiplied colour, then coverage
            for (std::size_t j = 0; j < row.weights.size(); ++j) {
                const std::uint8_t* line =
                    image.pixels.data() + std::size_t(row.first + int(j)) * image.width * channels;
                for (std::size_t i = 0; i < column.weights.size(); ++i) {
                    const std::uint8_t* p = line + std::size_t(column.first + int(i)) * channels;
                    const float weight = row.weights[j] * column.weights[i];
                    const float alpha = channels == 4 ? p[3] / 255.0f : 1.0f;
                    for (int c = 0; c < 3; ++c) sum[c] += p[c] * alpha * weight;
                    sum[3] += alpha * weight;
                }
            }
            std::uint8_t* target = out.pixels.data() + (std::size_t(y) * tw + x) * 4;
            if (sum[3] <= 0) continue;
            for (int c = 0; c < 3; ++c)
                target[c] = std::uint8_t(std::clamp(std::lround(sum[c] / sum[3]), 0l, 255l));
            target[3] = std::uint8_t(std::clamp(std::lround(sum[3] * 255.0f), 0l, 255l));
        }
    }
    return out;
}

}  // namespace kelvara
