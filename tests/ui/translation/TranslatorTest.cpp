#include "ui/translation/Translator.h"

#include "tests/support/TempHome.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
const QByteArray Sample = "; test language\r\n"
                          "   language=Testisch\r\n"
                          "AUTHOR=Hans\r\n"
                          "email=hans@example.org\r\n"
                          "Date=2026-01-01\r\n"
                          "comment=for tests\r\n"
                          "# file info end\r\n"
                          "Hello\r\n"
                          "Hallo\r\n"
                          "File\r\n"
                          "  Datei \t\r\n"
                          "Blank\r\n"
                          "   \r\n"
                          "Empty\r\n"
                          "\r\n"
                          "Again\r\n"
                          "Hello\r\n"
                          "LastLine\r\n";

const QString ShippedFolder = QStringLiteral(CORVANE_BIN_DIR "/Translations/");
}

TEST(Translation, HeaderFieldsAndBody)
{
    const TTranslation t = TTranslation::FromBytes(Sample);
    EXPECT_EQ(t.Language, "ge=Testisch") << "the name starts at the line's tenth character, indented or not";
    EXPECT_EQ(t.Author, "Hans");
    EXPECT_EQ(t.EMail, "hans@example.org");
    EXPECT_EQ(t.Date, "2026-01-01");
    EXPECT_EQ(t.Comment, "for tests");
    EXPECT_EQ(t.Lines().size(), 11);
    EXPECT_EQ(t.Lines().first(), "Hello");
}

TEST(Translation, LookupRules)
{
    const TTranslation t = TTranslation::FromBytes(Sample);
    const struct {
        const char* Text;
        const char* Result;
    } cases[] = {
        {"Hello", "Hallo"},
        {"hELLO", "Hallo"},      // letter case is ignored
        {"File", "Datei"},       // blanks around the translation are trimmed
        {"Blank", "Blank"},      // a blank translation leaves the English text
        {"Empty", "Empty"},
        {"Hallo", "File"},       // a translation line counts like an English one
        {"Again", "Hello"},
        {"LastLine", "LastLine"}, // nothing follows the last line
        {"Unknown", "Unknown"},
        {"Language=Testisch", "Language=Testisch"}, // header lines are no body lines
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(t.Translate(QString::fromLatin1(c.Text)), c.Result) << '"' << c.Text << '"';
}

TEST(Translation, WithoutEndMarkerEverythingIsBody)
{
    const TTranslation t = TTranslation::FromBytes("language=Nope\nHello\nHallo");
    EXPECT_EQ(t.Language, "");
    EXPECT_EQ(t.Lines().size(), 3);
    EXPECT_EQ(t.Translate("language=Nope"), "Hello");
    EXPECT_EQ(t.Translate("Hello"), "Hallo");
}

TEST(Translation, ReadsUtf8AndOldEightBitFiles)
{
    EXPECT_EQ(TTranslation::FromBytes("\xEF\xBB\xBFSize\nGr\xC3\xB6\xC3\x9F" "e\n").Translate("Size"),
              QStringLiteral("Größe"));
    EXPECT_EQ(TTranslation::FromBytes("Size\rGr\xF6\xDF" "e\r").Translate("Size"), QStringLiteral("Größe"));
}

class TranslatorTest : public TempHomeTest {};

TEST_F(TranslatorTest, LanguagesOfTheFolderAndLoading)
{
    const QString folder = Path("Translations");
    TTranslator translator(folder);
    ASSERT_TRUE(QDir(folder).exists()) << "made by the constructor";
    EXPECT_EQ(translator.GetLanguages(), QStringList());
    ASSERT_TRUE(WriteWholeFile(folder + "/Test.cvt", Sample));
    ASSERT_TRUE(WriteWholeFile(folder + "/Deutsch.cvt", ReadWholeFile(ShippedFolder + "Deutsch.cvt")));
    ASSERT_TRUE(WriteWholeFile(folder + "/notes.txt", "x"));
    EXPECT_EQ(translator.GetLanguages(), QStringList({"Deutsch\tDeutsch.cvt", "ge=Testisch\tTest.cvt"}));

    EXPECT_EQ(translator.Translate("Hello"), "Hello");
    EXPECT_TRUE(translator.LoadLanguage("Test.cvt"));
    EXPECT_EQ(translator.Translate("Hello"), "Hallo");
    EXPECT_FALSE(translator.LoadLanguage("Missing.cvt"));
    EXPECT_FALSE(translator.LoadLanguage(""));
    EXPECT_EQ(translator.CurrentFileName(), "Test.cvt") << "a failed load keeps the language";
    EXPECT_TRUE(translator.LoadLanguage("Deutsch.cvt"));
    EXPECT_EQ(translator.Translate("Paused"), "Angehalten");
    EXPECT_EQ(translator.Current()->Language, "Deutsch");

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(translator.GetLanguages(), std::nullopt);
}

TEST_F(TranslatorTest, GlobalTranslateFallsBackToEnglish)
{
    DestroyTranslator();
    EXPECT_EQ(Translator(), nullptr);
    EXPECT_EQ(Translate("Paused"), "Paused");
    CreateTranslator(ShippedFolder);
    EXPECT_EQ(Translate("Paused"), "Paused");
    ASSERT_TRUE(Translator()->LoadLanguage("Deutsch.cvt"));
    EXPECT_EQ(Translate("Paused"), "Angehalten");
    DestroyTranslator();
}

TEST_F(TranslatorTest, ShippedFilesAreCopiedOnlyWhenAbsent)
{
    EXPECT_EQ(TranslationsFolder(), Home() + "/Translations/");
    ASSERT_TRUE(QDir().mkpath(TranslationsFolder()));
    ASSERT_TRUE(WriteWholeFile(TranslationsFolder() + "Deutsch.cvt", Sample));
    EXPECT_EQ(InstallShippedTranslations(ShippedFolder), 0);
    EXPECT_EQ(ReadWholeFile(TranslationsFolder() + "Deutsch.cvt"), Sample) << "the user's edit wins";

    ASSERT_TRUE(QFile::remove(TranslationsFolder() + "Deutsch.cvt"));
    EXPECT_EQ(InstallShippedTranslations(ShippedFolder), 1);
    EXPECT_EQ(ReadWholeFile(TranslationsFolder() + "Deutsch.cvt"), ReadWholeFile(ShippedFolder + "Deutsch.cvt"));
    EXPECT_EQ(InstallShippedTranslations(Path("nothing-here")), 0);
}
