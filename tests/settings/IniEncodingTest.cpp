// The settings file's encodings: Notepad's "Unicode" (UTF-16 with a byte order mark), UTF-8 with
// and without one; decoded to UTF-8 and written back byte for byte.
#include "IniEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

// "[Q]\r\nP=Gá€😀\r\n" as Notepad saves it in UTF-16 LE.
const std::string
    Utf16LEFile("\xFF\xFE[\0Q\0]\0\r\0\n\0P\0=\0G\0\xE1\0\xAC\x20=\xD8\x00\xDE\r\0\n\0", 30);
const std::string Utf8Text = "[Q]\r\nP=G\xC3\xA1\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";

TEST(IniEncoding, Utf16LittleEndianWithMarkIsDecodedAndWrittenBackTheSame) {
    const DecodedText decoded = DecodeText(Utf16LEFile);
    EXPECT_EQ(decoded.Encoding, TextEncoding::Utf16LE);
    EXPECT_EQ(decoded.Text, Utf8Text);
    EXPECT_EQ(EncodeText(decoded.Text, decoded.Encoding), Utf16LEFile);
}

TEST(IniEncoding, Utf16BigEndianWithMarkToo) {
    std::string bigEndian = "\xFE\xFF";
    for (std::size_t i = 2; i < Utf16LEFile.size(); i += 2) {
        bigEndian += Utf16LEFile[i + 1];
        bigEndian += Utf16LEFile[i];
    }
    const DecodedText decoded = DecodeText(bigEndian);
    EXPECT_EQ(decoded.Encoding, TextEncoding::Utf16BE);
    EXPECT_EQ(decoded.Text, Utf8Text);
    EXPECT_EQ(EncodeText(decoded.Text, decoded.Encoding), bigEndian);
}

TEST(IniEncoding, Utf8MarkIsNotPartOfTheTextButIsWrittenBack) {
    const std::string file = "\xEF\xBB\xBF[Q]\nP=x\n";
    const DecodedText decoded = DecodeText(file);
    EXPECT_EQ(decoded.Encoding, TextEncoding::Utf8Bom);
    EXPECT_EQ(decoded.Text, "[Q]\nP=x\n");
    EXPECT_EQ(EncodeText(decoded.Text, decoded.Encoding), file);
}

TEST(IniEncoding, PlainBytesStayAsTheyAre) {
    const std::string file("[Q]\nP=\xE1\xFF\0x\n", 10);
    const DecodedText decoded = DecodeText(file);
    EXPECT_EQ(decoded.Encoding, TextEncoding::Plain);
    EXPECT_EQ(decoded.Text, file);
    EXPECT_EQ(EncodeText(decoded.Text, decoded.Encoding), file);
}

TEST(IniEncoding, UnpairedSurrogatesSurviveTheRoundTrip) {
    // A lone high surrogate, a lone low one, and a high one cut off by the end of the file.
    const std::string file("\xFF\xFE\x00\xD8x\0\x00\xDC\x3D\xD8", 10);
    const DecodedText decoded = DecodeText(file);
    EXPECT_EQ(EncodeText(decoded.Text, decoded.Encoding), file);
}

TEST(IniEncoding, TextThatIsNoUtf8IsWrittenAsReplacementCharacters) {
    EXPECT_EQ(EncodeText("a\xFF", TextEncoding::Utf16LE), std::string("\xFF\xFE"
                                                                      "a\0\xFD\xFF",
                                                                      6));
}

} // namespace
} // namespace quorvel
