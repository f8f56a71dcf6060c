#include "app/Startup.h"

#include "platform/base/Guard.h"
#include "records/MirrorListFile.h"
#include "records/Settings.h"
#include "records/StatusTexts.h"
#include "ui/translation/Translator.h"

void LoadLanguage()
{
    Guarded("procedure LoadLanguage", [] {
        TTranslator& translator = CreateTranslator(TranslationsFolder());
        if (Read(Setting::CurrentLanguage) != QLatin1String("English <default>"))
            translator.LoadLanguage(Read(Setting::TranslationFile));
        LoadStatusTexts();
    });
}

void PrepareProgram()
{
    Guarded("procedure PrepareProgram", [] {
        SetProgramPath();
        InstallShippedTranslations();
        InstallShippedMirrorList();
    });
    LoadLanguage();
}
