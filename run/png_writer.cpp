// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/png_writer.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

class PngWriteStruct {
public:
    PngWriteStruct()
    {
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (m_png)
            m_info = png_create_info_struct(m_png);
    }
    ~PngWriteStruct() { png_destroy_write_struct(&m_png, m_info ? &m_info : nullptr); }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;
    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

}   // namespace

std::vector<std::uint8_t> EncodePng(const OutputBitmap& bitmap)
{
    const std::string failure = "Couldn't make a PNG picture";
    if (bitmap.empty())
        throw std::runtime_error(failure + ": there is no picture");
    PngWriteStruct writer;
    if (!writer.png() || !writer.info())
        throw std::runtime_error(failure);

    // RGB rows, top of the picture first, from the bitmap's bottom-up BGR rows.
    const std::size_t width = std::size_t(bitmap.width());
    std::vector<png_byte> pixels(width * std::size_t(bitmap.height()) * 3);
    std::vector<png_bytep> rows(std::size_t(bitmap.height()));
    for (std::int32_t r = 0; r < bitmap.height(); ++r) {
        const std::uint8_t* src = bitmap.rowFromTop(r);
        png_bytep dst = pixels.data() + std::size_t(r) * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
        rows[std::size_t(r)] = dst;
    }
    std::vector<std::uint8_t> encoded;
    // libpng reports errors by longjmp; nothing with a destructor is created
    // between here and the end of the writes.
    if (setjmp(png_jmpbuf(writer.png())))
        throw std::runtime_error(failure);
    png_set_write_fn(writer.png(), &encoded, AppendBytes, FlushNothing);
    png_set_IHDR(writer.png(), writer.info(), png_uint_32(bitmap.width()), png_uint_32(bitmap.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png(), writer.info());
    png_write_image(writer.png(), rows.data());
    png_write_end(writer.png(), nullptr);
    return encoded;
}

void WritePng(const OutputBitmap& bitmap, const std::string& path)
{
    const std::string failure = "Couldn't write the preview " + path;
    if (bitmap.empty())
        throw std::runtime_error(failure + ": there is no preview");
    const std::vector<std::uint8_t> encoded = EncodePng(bitmap);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(encoded.data(), 1, encoded.size(), file.get()) != encoded.size()
        || std::fflush(file.get()) != 0)
        throw std::runtime_error(failure);
}
