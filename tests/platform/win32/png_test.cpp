// PNG files written without a compression library: the checksums against published values, the
// stored deflate blocks split where their 16-bit lengths demand, and the file's chunks read
// back. (Under Wine the platform's own codecs read a whole picture of the dialog: see the
// dialog script's tests of the program.)
#include "support/win32/wine_phone.h"

#include <cstring>

namespace {

uint32_t bigEndian(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

uint32_t littleEndian16(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8;
}

// Reads a zlib stream of stored blocks back; false when its structure is wrong anywhere.
bool readStoredStream(const std::string& stream, std::string* data, size_t* blocks) {
    if (stream.size() < 6 || uint8_t(stream[0]) != 0x78 ||
        (uint8_t(stream[0]) * 256 + uint8_t(stream[1])) % 31 != 0)
        return false;
    size_t at = 2;
    *blocks = 0;
    data->clear();
    for (bool last = false; !last;) {
        if (at + 5 > stream.size() || (uint8_t(stream[at]) & 0x06) != 0) // BTYPE 00: stored
            return false;
        last = (uint8_t(stream[at]) & 1) != 0;
        uint32_t length = littleEndian16(stream, at + 1);
        if ((length ^ littleEndian16(stream, at + 3)) != 0xFFFF || at + 5 + length > stream.size())
            return false;
        data->append(stream, at + 5, length);
        at += 5 + length;
        ++*blocks;
    }
    return at + 4 == stream.size() &&
           bigEndian(stream, at) == winphone::adler32(data->data(), data->size());
}

TEST(Png, ChecksumsMatchTheirPublishedValues) {
    struct Case {
        const char* text;
        uint32_t crc, adler;
    } cases[] = {
        {"", 0x00000000, 0x00000001},
        {"IEND", 0xAE426082, 0x02D70121},
        {"123456789", 0xCBF43926, 0x091E01DE},
        {"Wikipedia", 0xADAAC02E, 0x11E60398},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.crc, winphone::crc32(c.text, strlen(c.text)));
        EXPECT_EQ(c.adler, winphone::adler32(c.text, strlen(c.text)));
    }
    // Adler-32's sums wrap at 65521: a long run of 0xFF overflows a careless sum.
    std::string ones(100000, '\xFF');
    EXPECT_EQ(0x149A302Cu, winphone::adler32(ones.data(), ones.size()));
    EXPECT_EQ(0x68C6CEC4u, winphone::crc32(ones.data(), ones.size()));
}

TEST(Png, StoredBlocksHoldAtMost65535Bytes) {
    struct Case {
        size_t size, blocks;
    } cases[] = {{0, 1}, {1, 1}, {65535, 1}, {65536, 2}, {65535 * 3, 3}, {230720, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string data(c.size, '\0');
        for (size_t i = 0; i < c.size; ++i)
            data[i] = static_cast<char>(i * 7 + i / 251);
        std::string back;
        size_t blocks = 0;
        ASSERT_TRUE(readStoredStream(winphone::storedZlibStream(data), &back, &blocks));
        EXPECT_EQ(c.blocks, blocks);
        EXPECT_TRUE(back == data);
    }
}

TEST(Png, ChunksReadBack) {
    // Two by two: red, green / blue, white.
    const std::string rgb("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
    std::string png = winphone::encodePng(2, 2, rgb);
    ASSERT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
    std::vector<std::string> types;
    std::string header, image;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t length = bigEndian(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        std::string type = png.substr(at + 4, 4);
        std::string data = png.substr(at + 8, length);
        EXPECT_EQ(winphone::crc32(png.data() + at + 4, 4 + length), bigEndian(png, at + 8 + length))
            << type;
        types.push_back(type);
        if (type == "IHDR")
            header = data;
        if (type == "IDAT")
            image += data;
        at += 12 + length;
    }
    EXPECT_EQ(png.size(), at);
    EXPECT_EQ((std::vector<std::string>{"IHDR", "IDAT", "IEND"}), types);
    ASSERT_EQ(13u, header.size());
    EXPECT_EQ(2u, bigEndian(header, 0));
    EXPECT_EQ(2u, bigEndian(header, 4));
    // 8 bits, RGB, deflate, no filtering method but the standard one, no interlace.
    EXPECT_EQ(std::string("\x08\x02\x00\x00\x00", 5), header.substr(8));
    std::string rows;
    size_t blocks;
    ASSERT_TRUE(readStoredStream(image, &rows, &blocks));
    // Each row starts with its filter type, 0.
    EXPECT_EQ(std::string("\0", 1) + rgb.substr(0, 6) + std::string("\0", 1) + rgb.substr(6), rows);
}

TEST(Png, SizesThatDisagreeGiveNoFile) {
    EXPECT_EQ("", winphone::encodePng(0, 0, ""));
    EXPECT_EQ("", winphone::encodePng(2, 2, std::string(11, '\0')));
    EXPECT_EQ("", winphone::encodePng(2, 2, std::string(13, '\0')));
    EXPECT_NE("", winphone::encodePng(1, 1, std::string(3, '\0')));
}

} // namespace
