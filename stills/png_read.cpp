// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/still_read.h"

#include <png.h>

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orbicrop::stills {

namespace {

// libpng's complaint about the file, for the message; nothing of it
// reaches the terminal.
struct PngComplaint {
    char text[256] = {};
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message)
{
    char* text = static_cast<PngComplaint*>(png_get_error_ptr(png))->text;
    std::snprintf(text, sizeof(PngComplaint::text), "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Owns libpng's structures for one file read.
class PngRead {
public:
    explicit PngRead(PngComplaint& complaint)
        : m_png(png_create_read_struct(PNG_LIBPNG_VER_STRING, &complaint, OnPngError, OnPngWarning))
    {
        if (m_png != nullptr) {
            m_info = png_create_info_struct(m_png);
            m_end = png_create_info_struct(m_png);
        }
    }
    ~PngRead() { png_destroy_read_struct(&m_png, &m_info, &m_end); }
    PngRead(const PngRead&) = delete;
    PngRead& operator=(const PngRead&) = delete;
    bool ok() const { return m_png != nullptr && m_info != nullptr && m_end != nullptr; }
    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }
    png_infop end() const { return m_end; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
    png_infop m_end = nullptr;
};

// More than the text, profile or palette of any picture takes.
constexpr png_alloc_size_t kMostChunkBytes = 8u << 20;

// The picture as libpng hands it over once told to: 8 or 16 bits, grey or
// RGB, alpha let go.
struct PngLayout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;
    int depth = 0;
    std::size_t rowBytes = 0;
    int passes = 1;
};

// What libpng is handed and may longjmp over lives outside these two: they
// hold nothing with a destructor.
bool ReadHeader(const PngRead& read, std::FILE* file, PngLayout& layout)
{
    png_structp png = read.png();
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    // What a compressed text or profile unpacks to (a few bytes may unpack
    // to gigabytes).
    png_set_chunk_malloc_max(png, kMostChunkBytes);
    png_read_info(png, read.info());
    const int type = png_get_color_type(png, read.info());
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, read.info()) < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    // An alpha channel, or transparency turned into one with the palette.
    png_set_strip_alpha(png);
    if (png_get_bit_depth(png, read.info()) == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);   // PNG stores two-byte samples big-endian
    layout.passes = png_set_interlace_handling(png);
    png_read_update_info(png, read.info());
    layout.width = png_get_image_width(png, read.info());
    layout.height = png_get_image_height(png, read.info());
    layout.channels = png_get_channels(png, read.info());
    layout.depth = png_get_bit_depth(png, read.info());
    layout.rowBytes = png_get_rowbytes(png, read.info());
    return true;
}

std::uint32_t BigEndian(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

// libpng takes a chunk's length at its word and allocates it whole before
// reading it (not every build holds the raw chunk to
// png_set_chunk_malloc_max): a few damaged bytes would ask for 2 GiB. So the chunks' lengths
// are looked at first; the picture's own data (IDAT) is read in pieces and
// may be any size. Whatever else is wrong is left to libpng to find.
const char* OversizedChunk(std::FILE* file)
{
    unsigned char head[8];
    long at = 8;
    while (std::fseek(file, at, SEEK_SET) == 0 && std::fread(head, 1, sizeof head, file) == sizeof head) {
        const std::uint32_t length = BigEndian(head);
        const bool picture = std::memcmp(head + 4, "IDAT", 4) == 0;
        if (length > 0x7fffffffu || (!picture && length > kMostChunkBytes))
            return "it holds a chunk too large for any picture's facts";
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            break;
        at += 12 + long(length);
    }
    return std::fseek(file, 0, SEEK_SET) == 0 ? nullptr : "it cannot be read again from its start";
}

// Every pass of an interlaced picture fills in more of the same rows.
bool ReadImage(const PngRead& read, const PngLayout& layout, std::uint8_t* samples)
{
    png_structp png = read.png();
    if (setjmp(png_jmpbuf(png)))
        return false;
    for (int pass = 0; pass < layout.passes; ++pass)
        for (png_uint_32 y = 0; y < layout.height; ++y)
            png_read_row(png, samples + std::size_t(y) * layout.rowBytes, nullptr);
    png_read_end(png, read.end());
    return true;
}

// The "Creation Time" text, before the picture or after it, when ISO.
std::string PngTime(const PngRead& read)
{
    for (const png_infop info : {read.info(), read.end()}) {
        png_textp texts = nullptr;
        const int count = png_get_text(read.png(), info, &texts, nullptr);
        for (int i = 0; i < count; ++i)
            if (std::strcmp(texts[i].key, "Creation Time") == 0 && texts[i].text != nullptr)
                if (std::string iso = IsoUtcText(texts[i].text); !iso.empty())
                    return iso;
    }
    return {};
}

}   // namespace

void ReadPngStill(const std::string& path, StillFrame& frame)
{
    const auto damaged = [&](const char* why) {
        // libpng's word for a file that ends before its picture does.
        if (std::strcmp(why, "Read Error") == 0)
            why = "it is cut short";
        throw StillError("Couldn't read the PNG file " + path + " (" + why + ")");
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        damaged(std::strerror(errno));
    if (const char* why = OversizedChunk(file.get()))
        damaged(why);
    PngComplaint complaint;
    const PngRead read(complaint);
    if (!read.ok())
        damaged("there is no memory for it");
    PngLayout layout;
    if (!ReadHeader(read, file.get(), layout))
        damaged(complaint.text);
    const int bytes = layout.depth / 8;
    if ((layout.channels != 1 && layout.channels != 3) || (layout.depth != 8 && layout.depth != 16)
        || layout.rowBytes != std::size_t(layout.width) * std::size_t(layout.channels) * std::size_t(bytes))
        damaged("its pixels are laid out in a way that is not read");
    SizeFrame(frame, path, "PNG", layout.width, layout.height, layout.channels, bytes);
    frame.storedAs = bytes == 1 ? StoredAs::Bits8 : StoredAs::Bits16;
    if (!ReadImage(read, layout, frame.samples.data()))
        damaged(complaint.text);
    frame.time = PngTime(read);
}

}   // namespace orbicrop::stills
