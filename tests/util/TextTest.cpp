// Text conversions, string utilities, base64, MD5 and the text encryption.
#include "util/Text.h"

#include "platform/system/Text.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

using ::testing::ElementsAre;

TEST(TextConversions, Utf8AndCodePageRoundTripChineseUnderUtf8Locale) {
    setenv("LC_ALL", "C.UTF-8", 1);
    const std::wstring text = L"Orsveld网络科技有限公司";
    EXPECT_EQ(Utf8ToUnicode(UnicodeToUtf8(text)), text);
    EXPECT_EQ(UnicodeToAnsi(text), UnicodeToUtf8(text));
    EXPECT_EQ(AnsiToUnicode(UnicodeToAnsi(text)), text);
    unsetenv("LC_ALL");
}

TEST(TextConversions, EmptyInputAndNulStopConversion) {
    EXPECT_EQ(Utf8ToUnicode(""), L"");
    EXPECT_EQ(UnicodeToUtf8(L""), "");
    EXPECT_EQ(AnsiToUnicode(""), L"");
    EXPECT_EQ(UnicodeToAnsi(L""), "");
    EXPECT_EQ(AnsiToUnicode(std::string_view("ab\0cd", 5)), L"ab");
    EXPECT_EQ(UnicodeToAnsi(std::wstring_view(L"ab\0cd", 5)), "ab");
}

TEST(StringReplaceAll, ReplacesEveryOccurrenceOnce) {
    EXPECT_EQ(StringReplaceAll(std::wstring(L"a\\b\\\\c\\"), L"\\", L"/"), L"a/b//c/");
    // The inserted text is not searched again.
    EXPECT_EQ(StringReplaceAll(std::string("aXa"), "a", "aa"), "aaXaa");
    EXPECT_EQ(StringReplaceAll(std::string("aaaa"), "aa", "a"), "aa");
    EXPECT_EQ(StringReplaceAll(std::string("same"), "same", "same"), "same");
    EXPECT_EQ(StringReplaceAll(std::string("abc"), "", "x"), "abc"); // must not loop
    EXPECT_EQ(StringReplaceAll(std::string("abc"), "b", ""), "ac");
}

TEST(StringChangeCase, TouchesAsciiLettersOnly) {
    EXPECT_EQ(StringChangeCase("AbC-09_z中", true), "ABC-09_Z中");
    EXPECT_EQ(StringChangeCase("AbC-09_Z中", false), "abc-09_z中");
}

TEST(SplitString, KeepsInnerEmptyPiecesDropsTrailingOne) {
    EXPECT_THAT(SplitString(L"a,,b", L","), ElementsAre(L"a", L"", L"b"));
    EXPECT_THAT(SplitString(L"a,b,", L","), ElementsAre(L"a", L"b"));
    EXPECT_THAT(SplitString(L",a", L","), ElementsAre(L"", L"a"));
    EXPECT_THAT(SplitString(L"E:\\Games\\", L"\\"), ElementsAre(L"E:", L"Games"));
    EXPECT_THAT(SplitString(L"a<>b<><>c", L"<>"), ElementsAre(L"a", L"b", L"", L"c"));
    EXPECT_THAT(SplitString(L"", L","), ElementsAre());
    EXPECT_THAT(SplitString(L"abc", L""), ElementsAre(L"abc"));
}

TEST(Base64Encode, PadsAndMatchesRfc4648Vectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFB\xFF\x00", 3), "+/8A"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Base64Encode(in), out) << in;
}

TEST(Md5, StringDigestsMatchRfc1321Vectors) {
    CMd5A md5;
    EXPECT_EQ(md5.GetMd5String(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5.GetMd5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5.GetMd5String("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(md5.GetMd5String(std::string("a\0b", 3)), md5.GetMd5String(std::string("a\0b", 3)));
    EXPECT_NE(md5.GetMd5String(std::string("a\0b", 3)), md5.GetMd5String("a"));
}

TEST(Md5, FileDigestEqualsStringDigestAcrossReadSizes) {
    testsupport::ScratchFolder dir;
    CMd5A md5;
    // Sizes around the read buffer's boundaries.
    for (size_t size : {size_t(0), size_t(1), size_t(511), size_t(512), size_t(65536), size_t(65537), size_t(300000)}) {
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        const auto path = dir / ("f" + std::to_string(size));
        testsupport::writeBytes(path, data);
        EXPECT_EQ(md5.GetMd5File(platform::fromUtf8(path.string())), md5.GetMd5String(data)) << size;
    }
    EXPECT_EQ(md5.GetMd5File(platform::fromUtf8((dir / "missing").string())), "");
    EXPECT_EQ(md5.GetMd5File(platform::fromUtf8(dir.path().string())), ""); // a folder is no file
    const auto chinese = dir / "文件.bin";
    testsupport::writeBytes(chinese, "abc");
    EXPECT_EQ(md5.GetMd5File(platform::fromUtf8(chinese.string())), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, StreamInPiecesEqualsWholeAndRestartsAfterFinish) {
    CMd5Stream stream;
    stream.Update("ab", 2);
    stream.Update("", 0);
    stream.Update("c", 1);
    EXPECT_EQ(stream.Finish(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(stream.Finish(), "d41d8cd98f00b204e9800998ecf8427e");
    stream.Update("x", 1);
    stream.Reset();
    stream.Update("abc", 3);
    EXPECT_EQ(stream.Finish(), "900150983cd24fb0d6963f7d28e17f72");
}

// An input hashed in pieces, each continued from the chaining value where
// the piece before ended, gives the digest of the whole; a state is only
// there after whole 64-byte blocks, and a wrong one gives another digest.
TEST(Md5, PiecesContinuedFromTheirChainingValuesGiveTheWholeDigest) {
    std::string input(3 * 64 * 1000 + 37, '\0');
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>(i * 131 + i / 251);
    const std::string whole = CMd5A().GetMd5String(input);
    for (const std::size_t piece : {std::size_t{64}, std::size_t{4096}, std::size_t{64 * 1000}}) {
        Md5State state{};
        CMd5Stream first;
        ASSERT_TRUE(first.State(state)); // the initial value
        std::size_t at = 0;
        for (; at + piece < input.size(); at += piece) {
            CMd5Stream md5(state, at);
            md5.Update(input.data() + at, piece / 2);
            md5.Update(input.data() + at + piece / 2, piece - piece / 2);
            ASSERT_TRUE(md5.State(state)) << piece;
        }
        CMd5Stream last(state, at);
        last.Update(input.data() + at, input.size() - at);
        Md5State none;
        EXPECT_FALSE(last.State(none)) << piece; // 37 bytes past a block
        EXPECT_EQ(last.Finish(), whole) << piece;
    }
    Md5State state;
    CMd5Stream head;
    head.Update(input.data(), 640);
    ASSERT_TRUE(head.State(state));
    state[5] ^= 1;
    CMd5Stream tail(state, 640);
    tail.Update(input.data() + 640, input.size() - 640);
    EXPECT_NE(tail.Finish(), whole);
}

// A descriptor's bytes from its first, whatever its position: all of them,
// a beginning, or nothing when the file is shorter or the caller stops.
TEST(Md5, DescriptorFromItsFirstByteToALengthOrItsEnd) {
    testsupport::ScratchFolder dir;
    const std::string bytes(300000, 'q'); // more than one piece
    testsupport::writeBytes(dir / "f", bytes);
    const int fd = ::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 1000, SEEK_SET), 1000);
    const CMd5A whole;
    struct Row {
        std::int64_t length;
        bool proceed, ok;
        std::string digestOf;
    } rows[] = {{-1, true, true, bytes},     {0, true, true, ""},       {3, true, true, "qqq"},
                {300000, true, true, bytes}, {300001, true, false, ""}, {-1, false, false, ""}};
    for (const Row& row : rows) {
        CMd5Stream md5;
        EXPECT_EQ(HashDescriptor(fd, row.length, md5, [&] { return row.proceed; }), row.ok) << row.length;
        if (row.ok) {
            EXPECT_EQ(md5.Finish(), whole.GetMd5String(row.digestOf)) << row.length;
        }
    }
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 1000); // the position did not move
    CMd5Stream middle;
    ASSERT_TRUE(HashDescriptor(fd, 5, middle, {}, 299995));
    EXPECT_EQ(middle.Finish(), whole.GetMd5String("qqqqq"));
    CMd5Stream rest;
    ASSERT_TRUE(HashDescriptor(fd, -1, rest, {}, 299000));
    EXPECT_EQ(rest.Finish(), whole.GetMd5String(bytes.substr(299000)));
    ::close(fd);
}

// Decrypts base64 AES-128-ECB with the program's key, without removing the
// padding, so tests can see exactly what was encrypted.
std::string decryptRaw(const std::string& base64) {
    std::string cipher(base64.size(), '\0');
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(cipher.data()),
                        reinterpret_cast<const unsigned char*>(base64.data()), static_cast<int>(base64.size()));
    if (n < 0) return {};
    size_t pad = 0;
    for (size_t i = base64.size(); i > 0 && base64[i - 1] == '='; --i) ++pad;
    cipher.resize(static_cast<size_t>(n) - pad);
    const unsigned char key[16] = {'2', '0', '1', '7', '1', '1', '2', '3', '0', '4', '1', '7', 0, 0, 0, 0};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::string plain(cipher.size() + 16, '\0');
    int len = 0;
    int tail = 0;
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &len,
                      reinterpret_cast<const unsigned char*>(cipher.data()), static_cast<int>(cipher.size()));
    EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + len, &tail);
    EVP_CIPHER_CTX_free(ctx);
    plain.resize(static_cast<size_t>(len + tail));
    return plain;
}

TEST(EncryptText, MatchesCheckValueAndPadsWithPkcs7) {
    EXPECT_EQ(EncryptText("0123456789abcdef"), "iYmwTtkQHbosy4XNyeJVnSzEDuOkXscLk12Gc92My6w=");
    EXPECT_EQ(EncryptText(""), "");
    // 16 bytes: a whole block of padding follows; 15 bytes: one padding byte.
    EXPECT_EQ(decryptRaw(EncryptText("0123456789abcdef")), "0123456789abcdef" + std::string(16, '\x10'));
    EXPECT_EQ(decryptRaw(EncryptText("0123456789abcde")), "0123456789abcde\x01");
    EXPECT_EQ(decryptRaw(EncryptText("x")), "x" + std::string(15, '\x0F'));
    EXPECT_EQ(EncryptText("0123456789abcde").size(), 24u);
    EXPECT_EQ(decryptRaw(EncryptText(std::string(33, 'a'))), std::string(33, 'a') + std::string(15, '\x0F'));
}

} // namespace
