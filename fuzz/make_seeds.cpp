// Writes the fuzzers' seed corpora: small JPEG pages of every kind the program reads
// (baseline, progressive, grey, CMYK, EXIF-turned, restart markers, cut short) and
// state files (Windows-874, UTF-8, a leading U+FEFF, several lines, no line end).
//   make_seeds PICTURE_DIR STATE_FILE_DIR

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Width = 48;
constexpr int Height = 32;

enum class Kind { Baseline, Progressive, Grey, Cmyk, Turned, Restarts, FullChroma };

// A pattern with edges and gradients, so that every coefficient band carries data.
std::vector<unsigned char> pixels(int components)
{
    std::vector<unsigned char> data(size_t(Width * Height * components));
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            for (int c = 0; c < components; ++c)
                data[size_t((y * Width + x) * components + c)] =
                    static_cast<unsigned char>((x * 5 + y * 7 + c * 60 + ((x ^ y) & 8) * 12) & 255);
        }
    }
    return data;
}

// The EXIF block of a phone photo held turned by 90 degrees (orientation 6).
std::vector<unsigned char> exifTurned()
{
    return {'E', 'x', 'i', 'f', 0, 0,             // EXIF header
            'I', 'I', 42, 0, 8, 0, 0, 0,          // little-endian TIFF, first IFD at 8
            1, 0,                                 // one entry
            0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, // Orientation, SHORT, 1, value 6
            0, 0, 0, 0};                          // no next IFD
}

std::vector<unsigned char> encode(Kind kind)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = Width;
    cinfo.image_height = Height;
    cinfo.input_components = kind == Kind::Grey ? 1 : kind == Kind::Cmyk ? 4 : 3;
    cinfo.in_color_space = kind == Kind::Grey ? JCS_GRAYSCALE : kind == Kind::Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    if (kind == Kind::Progressive)
        jpeg_simple_progression(&cinfo);
    if (kind == Kind::Restarts)
        cinfo.restart_interval = 1;
    if (kind == Kind::FullChroma)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    if (kind == Kind::Turned) {
        const std::vector<unsigned char> exif = exifTurned();
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    }
    std::vector<unsigned char> data = pixels(cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &data[size_t(cinfo.next_scanline) * Width * size_t(cinfo.input_components)];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

bool put(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

bool put(const std::filesystem::path &path, const std::vector<unsigned char> &bytes)
{
    return put(path, std::string(bytes.begin(), bytes.end()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE_DIR STATE_FILE_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path pictures = argv[1], states = argv[2];
    std::filesystem::create_directories(pictures);
    std::filesystem::create_directories(states);

    const std::vector<unsigned char> baseline = encode(Kind::Baseline);
    bool ok = put(pictures / "baseline.jpg", baseline)
              && put(pictures / "progressive.jpg", encode(Kind::Progressive))
              && put(pictures / "grey.jpg", encode(Kind::Grey))
              && put(pictures / "cmyk.jpg", encode(Kind::Cmyk))
              && put(pictures / "exif-turned.jpg", encode(Kind::Turned))
              && put(pictures / "restarts.jpg", encode(Kind::Restarts))
              && put(pictures / "full-chroma.jpg", encode(Kind::FullChroma))
              && put(pictures / "truncated.jpg",
                     std::vector<unsigned char>(baseline.begin(),
                                                baseline.begin() + long(baseline.size() * 3 / 5)));

    ok = ok && put(states / "ascii", std::string("page01.jpg\r\n"))
         && put(states / "cp874", std::string("\xCB\xB9\xE9\xD2" "2.jpg\r\n"))
         && put(states / "utf8", std::string("\xE7\xAC\xAC\xE4\xB8\x80.jpg\r\n"))
         && put(states / "leading-feff", std::string("\xEF\xBB\xBF" "1.jpg\r\n"))
         && put(states / "lines", std::string("a.jpg\r\n\r\nold.jpg\r\n"))
         && put(states / "no-line-end", std::string("b.jpg"))
         && put(states / "cut-utf8", std::string("x\xE0\xB8"));
    if (!ok) {
        std::fprintf(stderr, "make_seeds: cannot write the seeds\n");
        return 1;
    }
    return 0;
}
