#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "files/fichier_donnees.h"
#include "files/header.h"
#include "support/doubles.h"

namespace {

TEST(HeaderRecord, FieldOffsetsAreTheFileLayout)
{
    EXPECT_EQ(offsetof(type_header_file, date_heure), 0u);
    EXPECT_EQ(offsetof(type_header_file, micros_actifs), 16u);
    EXPECT_EQ(offsetof(type_header_file, va_actives), 1040u);
    EXPECT_EQ(offsetof(type_header_file, compteurs_actifs), 1056u);
    EXPECT_EQ(offsetof(type_header_file, freq), 1060u);
    EXPECT_EQ(offsetof(type_header_file, nb_ech), 1064u);
    EXPECT_EQ(offsetof(type_header_file, duree_acq), 1068u);
    EXPECT_EQ(offsetof(type_header_file, type_float), 1072u);
    EXPECT_EQ(offsetof(type_header_file, texte_commentaire), 1073u);
    EXPECT_EQ(sizeof(type_header_file), 2097u);
}

TEST(HeaderRecord, InitialValuesAndLittleEndianBytes)
{
    type_header_file h;
    init_header(h);
    auto b = header_bytes(h);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(b[i], 0);
    for (int i = 16; i < 1040; ++i)
        ASSERT_EQ(b[i], 1) << i;
    for (int i = 1040; i < 1073; ++i)
        ASSERT_EQ(b[i], 0) << i;
    for (int i = 1073; i < 2097; ++i)
        ASSERT_EQ(b[i], ' ') << i;

    h.date_heure = {2026, 12, 1, 7, 9, 5, 3, 999};
    h.freq = 41666.0f;
    h.nb_ech = 500000;
    h.duree_acq = 10.0f;
    h.type_float = 1;
    h.micros_actifs[7][3] = 0;
    b = header_bytes(h);
    EXPECT_EQ(b[0], 0xEA); // 2026 = 0x07EA
    EXPECT_EQ(b[1], 0x07);
    EXPECT_EQ(b[6], 7);
    EXPECT_EQ(b[14], 0xE7); // 999 = 0x03E7
    EXPECT_EQ(b[15], 0x03);
    EXPECT_EQ(b[16 + 8 * 7 + 3], 0);
    float f;
    std::memcpy(&f, &b[1060], 4);
    EXPECT_EQ(f, 41666.0f);
    EXPECT_EQ(b[1064] | b[1065] << 8 | b[1066] << 16 | b[1067] << 24, 500000);
    std::memcpy(&f, &b[1068], 4);
    EXPECT_EQ(f, 10.0f);
    EXPECT_EQ(b[1072], 1);
}

TEST(HeaderRecord, WrittenFileIsExactly2097Bytes)
{
    TempDir dir;
    type_header_file h;
    init_header(h);
    std::FILE* f = ouvre_fichier(dir.file("Test.Ond"), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ecrit_header(h, f), 0);
    std::fclose(f);
    auto bytes = read_bytes(dir.file("Test.Ond"));
    ASSERT_EQ(bytes.size(), 2097u);
    auto expected = header_bytes(h);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin()));
    EXPECT_EQ(ecrit_header(h, nullptr), -1);
}

TEST(HeaderRecord, CommentCodePage)
{
    EXPECT_EQ(utf8_vers_cp1252("abc"), "abc");
    EXPECT_EQ(utf8_vers_cp1252("é€"), "\xE9\x80");
    EXPECT_EQ(utf8_vers_cp1252("Ω漢"), "??"); // outside the code page
    EXPECT_EQ(utf8_vers_cp1252("a\xFF"
                               "b"),
              "a?b");                           // malformed byte
    EXPECT_EQ(utf8_vers_cp1252("a\xC3"), "a?"); // truncated sequence
    EXPECT_EQ(utf8_vers_cp1252("😀"), "?");      // four-byte sequence
}

TEST(DataFile, CompanionNames)
{
    EXPECT_EQ(nom_compagnon("d:\\Test.dat", ".Ond"), "d:\\Test.Ond");
    EXPECT_EQ(nom_compagnon("d:\\a.dat\\x.dat", ".log"), "d:\\a.dat\\x.log");
    EXPECT_EQ(nom_compagnon("/m/essai", ".Ond"), "/m/essai.Ond");
    EXPECT_EQ(nom_compagnon("/m/G.DAT", ".Ond"), "/m/G.Ond");
}

} // namespace
