// Writes the fuzzers' seed corpora: a page of every kind the program reads, state files in
// every encoding, large pages with the view shown first.   make_seeds PICTURE_DIR STATE_FILE_DIR BAND_DIR

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Width = 48;
constexpr int Height = 32;

enum class Kind { Baseline, Progressive, Grey, Cmyk, Turned, Restarts, FullChroma };

// A pattern with edges and gradients, so that every coefficient band carries data.
std::vector<unsigned char> pixels(int components, int width, int height)
{
    // Large pages get the pattern magnified: their seeds stay small.
    const int scale = width > Width ? 8 : 1;
    std::vector<unsigned char> data(size_t(width * height * components));
    for (size_t i = 0; i < data.size(); ++i) {
        const int c = int(i % size_t(components)), pixel = int(i / size_t(components));
        const int x = pixel % width / scale, y = pixel / width / scale;
        data[i] = static_cast<unsigned char>((x * 5 + y * 7 + c * 60 + ((x ^ y) & 8) * 12) & 255);
    }
    return data;
}

// The EXIF block of a phone photo held turned by 90 degrees (orientation 6).
constexpr unsigned char ExifTurned[] = {'E', 'x', 'i', 'f', 0, 0,             // EXIF header
                                        'I', 'I', 42, 0, 8, 0, 0, 0,          // little-endian TIFF, first IFD at 8
                                        1, 0,                                 // one entry
                                        0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, // Orientation, SHORT, 1, value 6
                                        0, 0, 0, 0};                          // no next IFD

std::string encode(Kind kind, int width = Width, int height = Height)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
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
    if (kind == Kind::Turned)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, ExifTurned, sizeof ExifTurned);
    std::vector<unsigned char> data = pixels(cinfo.input_components, width, height);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &data[size_t(cinfo.next_scanline) * size_t(width) * size_t(cinfo.input_components)];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char *>(buffer), size);
    std::free(buffer);
    return bytes;
}

bool put(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PICTURE_DIR STATE_FILE_DIR BAND_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path pictures = argv[1], states = argv[2], bands = argv[3];
    for (const auto &dir : {pictures, states, bands})
        std::filesystem::create_directories(dir);

    const std::string baseline = encode(Kind::Baseline);
    bool ok = put(pictures / "truncated.jpg", baseline.substr(0, baseline.size() * 3 / 5));
    const std::pair<const char *, Kind> kinds[] = {
        {"baseline.jpg", Kind::Baseline}, {"progressive.jpg", Kind::Progressive}, {"grey.jpg", Kind::Grey},
        {"cmyk.jpg", Kind::Cmyk}, {"exif-turned.jpg", Kind::Turned}, {"restarts.jpg", Kind::Restarts},
        {"full-chroma.jpg", Kind::FullChroma}};
    for (const auto &[name, kind] : kinds)
        ok = ok && put(pictures / name, encode(kind));
    const std::pair<const char *, std::string> texts[] = {
        {"ascii", "page01.jpg\r\n"}, {"cp874", "\xCB\xB9\xE9\xD2" "2.jpg\r\n"},
        {"utf8", "\xE7\xAC\xAC\xE4\xB8\x80.jpg\r\n"}, {"leading-feff", "\xEF\xBB\xBF" "1.jpg\r\n"},
        {"lines", "a.jpg\r\n\r\nold.jpg\r\n"}, {"no-line-end", "b.jpg"}, {"cut-utf8", "x\xE0\xB8"}};
    for (const auto &[name, bytes] : texts)
        ok = ok && put(states / name, bytes);
    // Pages shown by their top rows (a million pixels), after two bytes choosing the view
    // (columns / 8, rows / 16); a view of a million pixels or more is decoded on two threads.
    const struct { const char *name; Kind kind; unsigned char columns, rows; int width, height; } views[] = {
        {"colour-top-third", Kind::Baseline, 80, 22, 1000, 1072},
        {"colour-scrolled-past-split", Kind::Baseline, 120, 50, 1000, 1072},
        {"grey-narrow-view", Kind::Grey, 20, 40, 1000, 1072},
        {"restarts-almost-whole", Kind::Restarts, 200, 66, 1000, 1072},
        {"full-chroma", Kind::FullChroma, 125, 30, 1000, 1072},
        {"narrow-view-on-two-threads", Kind::Baseline, 120, 75, 1600, 1800}};
    for (const auto &v : views)
        ok = ok && put(bands / v.name, std::string{char(v.columns), char(v.rows)} + encode(v.kind, v.width, v.height));
    if (!ok) {
        std::fprintf(stderr, "make_seeds: cannot write the seeds\n");
        return 1;
    }
    return 0;
}
