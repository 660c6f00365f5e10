// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_image.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace orbicrop::stills {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Owns libpng's two structures for one file.
class PngWrite {
public:
    PngWrite() : m_png(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr))
    {
        if (m_png != nullptr)
            m_info = png_create_info_struct(m_png);
    }
    ~PngWrite() { png_destroy_write_struct(&m_png, &m_info); }
    PngWrite(const PngWrite&) = delete;
    PngWrite& operator=(const PngWrite&) = delete;
    bool ok() const { return m_png != nullptr && m_info != nullptr; }
    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// Everything libpng is handed lives outside the function that may longjmp.
bool WriteRows(PngWrite& write, std::FILE* file, const StillImage& image, std::vector<png_text>& texts,
               std::vector<png_bytep>& rows)
{
    if (setjmp(png_jmpbuf(write.png())))
        return false;
    png_init_io(write.png(), file);
    png_set_IHDR(write.png(), write.info(), png_uint_32(image.width), png_uint_32(image.height),
                 8 * image.bytesPerSample, image.planes == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!texts.empty())
        png_set_text(write.png(), write.info(), texts.data(), int(texts.size()));
    png_write_info(write.png(), write.info());
    if (image.bytesPerSample == 2)
        png_set_swap(write.png());   // PNG stores two-byte samples big-endian
    png_write_image(write.png(), rows.data());
    png_write_end(write.png(), nullptr);
    return true;
}

}   // namespace

void WritePngStill(const std::string& path, const StillImage& image)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw StillError("Couldn't create the PNG file " + path);
    PngWrite write;
    if (!write.ok())
        throw StillError("Couldn't write the PNG file " + path);
    std::string software = image.creator;
    std::string time = image.time.empty() ? std::string() : image.time + "Z";
    std::vector<png_text> texts;
    const auto text = [&texts](const char* key, std::string& value) {
        if (value.empty())
            return;
        png_text t{};
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = const_cast<char*>(key);
        t.text = value.data();
        texts.push_back(t);
    };
    text("Software", software);
    text("Creation Time", time);
    std::vector<png_bytep> rows(std::size_t(image.height));
    for (std::int32_t y = 0; y < image.height; ++y)
        rows[std::size_t(y)] = const_cast<png_bytep>(image.samples + std::size_t(y) * image.rowBytes());
    if (!WriteRows(write, file.get(), image, texts, rows) || std::fclose(file.release()) != 0)
        throw StillError("Couldn't write the PNG file " + path);
}

}   // namespace orbicrop::stills
