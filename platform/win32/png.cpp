// PNG files of 8-bit RGB pictures, written without a compression library: the image data is a
// zlib stream of stored (uncompressed) deflate blocks, each chunk carries its CRC-32, and the
// stream its Adler-32. Pictures of a phone's screen are small, so the size does not matter.
#include "win32.h"

#include <algorithm>

namespace winphone {

namespace {

// The most a stored deflate block holds: its length is a 16-bit field.
const size_t kStoredBlockBytes = 65535;

void appendBigEndian(std::string& out, uint32_t value) {
    out += static_cast<char>(value >> 24);
    out += static_cast<char>(value >> 16);
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

void appendLittleEndian16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// A chunk: its length, its type, its data, and the CRC of type and data.
void appendChunk(std::string& out, const char type[4], std::string_view data) {
    appendBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string typed(type, 4);
    typed.append(data);
    out.append(typed);
    appendBigEndian(out, crc32(typed.data(), typed.size()));
}

} // namespace

uint32_t crc32(const void* data, size_t size) {
    static uint32_t table[256];
    static bool built = false;
    if (!built) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        built = true;
    }
    uint32_t c = 0xFFFFFFFFu;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t adler32(const void* data, size_t size) {
    const uint32_t modulus = 65521;
    uint32_t a = 1, b = 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        a = (a + bytes[i]) % modulus;
        b = (b + a) % modulus;
    }
    return (b << 16) | a;
}

std::string storedZlibStream(std::string_view data) {
    std::string out;
    // Deflate with a 32 KiB window, no dictionary; the check bits make the header a multiple
    // of 31.
    out += static_cast<char>(0x78);
    out += static_cast<char>(0x01);
    size_t at = 0;
    do {
        size_t length = std::min(kStoredBlockBytes, data.size() - at);
        bool last = at + length == data.size();
        out += static_cast<char>(last ? 1 : 0); // BFINAL, and BTYPE 00: stored
        appendLittleEndian16(out, static_cast<uint32_t>(length));
        appendLittleEndian16(out, static_cast<uint32_t>(~length & 0xFFFF));
        out.append(data.substr(at, length));
        at += length;
    } while (at < data.size());
    appendBigEndian(out, adler32(data.data(), data.size()));
    return out;
}

std::string encodePng(uint32_t width, uint32_t height, std::string_view rgb) {
    if (width == 0 || height == 0 || rgb.size() != size_t(width) * height * 3)
        return {};
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += static_cast<char>(8); // bits per sample
    header += static_cast<char>(2); // colour type: RGB
    header += std::string(3, '\0'); // deflate, adaptive filtering, no interlace
    appendChunk(png, "IHDR", header);
    // Each row starts with its filter type: 0, none.
    std::string rows;
    rows.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (uint32_t y = 0; y < height; ++y) {
        rows += '\0';
        rows.append(rgb.substr(size_t(y) * width * 3, size_t(width) * 3));
    }
    appendChunk(png, "IDAT", storedZlibStream(rows));
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace winphone
