#include "base/twofish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Hex(const unsigned char* p, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 0xF];
    }
    return s;
}

void FromHex(const char* hex, unsigned char* out)
{
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<unsigned char>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
}

// Published 128-bit ECB known-answer chain: iteration i uses the previous
// plaintext as key and the previous ciphertext as plaintext, starting from an
// all-zero key and block.
const char* const kChain[49] = {
    "9F589F5CF6122C32B6BFEC2F2AE8C35A", "D491DB16E7B1C39E86CB086B789F5419",
    "019F9809DE1711858FAAC3A3BA20FBC3", "6363977DE839486297E661C6C9D668EB",
    "816D5BD0FAE35342BF2A7412C246F752", "5449ECA008FF5921155F598AF4CED4D0",
    "6600522E97AEB3094ED5F92AFCBCDD10", "34C8A5FB2D3D08A170D120AC6D26DBFA",
    "28530B358C1B42EF277DE6D4407FC591", "8A8AB983310ED78C8C0ECDE030B8DCA4",
    "48C758A6DFC1DD8B259FA165E1CE2B3C", "CE73C65C101680BBC251C5C16ABCF214",
    "C7ABD74AA060F78B244E24C71342BA89", "D0F8B3B6409EBCB666D29C916565ABFC",
    "DD42662908070054544FE09DA4263130", "7007BACB42F7BF989CF30F78BC50EDCA",
    "57B9A18EE97D90F435A16F69F0AC6F16", "06181F0D53267ABD8F3BB28455B198AD",
    "81A12D8449E9040BAAE7196338D8C8F2", "BE422651C56F2622DA0201815A95A820",
    "113B19F2D778473990480CEE4DA238D1", "E6942E9A86E544CF3E3364F20BE011DF",
    "87CDC6AA487BFD0EA70188257D9B3859", "D5E2701253DD75A11A4CFB243714BD14",
    "FD24812EEA107A9E6FAB8EABE0F0F48C", "DAFA84E31A297F372C3A807100CD783D",
    "A55ED2D955EC8950FC0CC93B76ACBF91", "2ABEA2A4BF27ABDC6B6F278993264744",
    "045383E219321D5A4435C0E491E7DE10", "7460A4CD4F312F32B1C7A94FA004E934",
    "6BBF9186D32C2C5895649D746566050A", "CDBDD19ACF40B8AC0328C80054266068",
    "1D2836CAE4223EAB5066867A71B1A1C3", "2D7F37121D0D2416D5E2767FF202061B",
    "D70736D1ABC7427A121CC816CD66D7FF", "AC6CA71CBCBEDCC0EA849FB2E9377865",
    "307265FF145CBBC7104B3E51C6C1D6B4", "934B7DB4B3544854DBCA81C4C5DE4EB1",
    "18759824AD9823D5961F84377D7EAEBF", "DEDDAC6029B01574D9BABB099DC6CA6C",
    "5EA82EEA2244DED42CCA2F835D5615DF", "1E3853F7FFA57091771DD8CDEE9414DE",
    "5C2EBBF75D31F30B5EA26EAC8782D8D1", "3A3CFA1F13A136C94D76E5FA4A1109FF",
    "91630CF96003B8032E695797E313A553", "137A24CA47CD12BE818DF4D2F4355960",
    "BCA724A54533C6987E14AA827952F921", "6B459286F3FFD28D49F15B1581B08E42",
    "5D9D4EEFFA9151575524F115815A12E0",
};

} // namespace

TEST(Twofish, ZeroKeyZeroBlock)
{
    unsigned char key[16] = {0}, block[16] = {0}, out[16];
    KTwofish tf(key);
    EXPECT_TRUE(tf.IsKeyed());
    tf.EncryptBlock(block, out);
    EXPECT_EQ("9F589F5CF6122C32B6BFEC2F2AE8C35A", Hex(out, 16));
    tf.DecryptBlock(out, out);   // in place
    EXPECT_EQ(0, std::memcmp(out, block, 16));
}

TEST(Twofish, IntermediateValueChain)
{
    unsigned char key[16] = {0}, pt[16] = {0}, ct[16], back[16], expected[16];
    for (int i = 0; i < 49; ++i) {
        KTwofish tf(key);
        tf.EncryptBlock(pt, ct);
        FromHex(kChain[i], expected);
        ASSERT_EQ(0, std::memcmp(ct, expected, 16)) << "iteration " << (i + 1) << ": " << Hex(ct, 16);
        tf.DecryptBlock(ct, back);
        ASSERT_EQ(0, std::memcmp(back, pt, 16)) << "iteration " << (i + 1);
        std::memcpy(key, pt, 16);
        std::memcpy(pt, ct, 16);
    }
}

TEST(Twofish, RekeyingReplacesSchedule)
{
    unsigned char k1[16] = {0}, k2[16], block[16] = {0}, a[16], b[16];
    FromHex("9F589F5CF6122C32B6BFEC2F2AE8C35A", k2);
    KTwofish tf;
    EXPECT_FALSE(tf.IsKeyed());
    tf.SetKey(k2);
    tf.EncryptBlock(block, a);
    tf.SetKey(k1);
    tf.EncryptBlock(block, b);
    EXPECT_EQ("9F589F5CF6122C32B6BFEC2F2AE8C35A", Hex(b, 16));
    EXPECT_NE(0, std::memcmp(a, b, 16));
}
