// TFileXML: the language table, the program's one source of user-visible text.
//
// It holds the name of the selected language section and 49 texts, one per language key. The main
// window fills it once at start (SetLanguage, then LoadLanguage with the resource "QVI_XMLFile");
// afterwards it is read-only and read directly, by key, from both threads.
//
// Loading order: the selected section of the LANGUAGE section; when that is absent, the ENGLISH
// section (and LanguageName becomes "ENGLISH"); when that is absent too, or anything fails, the
// built-in English texts. ReadKeys sets all 49 texts, so a key missing from a section that was
// found gives "" rather than the built-in text.
#pragma once

#include <array>
#include <functional>
#include <string>

class TFileXML {
public:
    // Fetches the bytes of a named resource of the program; false when there is none. On Win32
    // this is platform::LoadProgramResource (the program's own RCDATA resources, names compared
    // without letter case); tests pass their own.
    using ResourceLoader = std::function<bool(const std::string& name, std::string& bytes)>;

    // One language key: its name in the file, its field, its built-in text (nullptr: none).
    struct Key {
        const char* name;
        std::string TFileXML::*field;
        const char* builtin;
    };
    static constexpr int KeyCount = 49;
    // The keys in table order.
    static const std::array<Key, KeyCount>& Keys();

    TFileXML() = default;

    // Stores the name unchanged (the caller upper-cases it); an empty name stores "ENGLISH".
    void SetLanguage(const std::string& name);
    // Fills the table from the named resource. Never throws; a missing or empty resource is read
    // as an empty text, so the English fallback and then the built-in texts apply.
    void LoadLanguage(const std::string& resourceName, const ResourceLoader& loader) noexcept;
    // The same from the raw bytes of a language file.
    void LoadLanguageFromBytes(const std::string& bytes) noexcept;
    // Writes the built-in English texts into the 41 texts that have one; the others and
    // LanguageName stay as they are.
    void LoadDefaults();
    // Sets all 49 texts from one language section.
    void ReadKeys(const std::string& section);

    // The text of a key by its name, or nullptr for a name that is not a key.
    const std::string* Find(const std::string& key) const;

    std::string LanguageName;

    // The texts, in table order.
    std::string S_Download;
    std::string S_Unzip;
    std::string S_Kill;
    std::string S_Copy;
    std::string S_ExecBatch;
    std::string S_Delete;
    std::string S_StartApp;
    std::string S_KillError;
    std::string S_DownloadError;
    std::string S_UnknownError;
    std::string S_Successfull;
    std::string S_FormCaption;
    std::string S_EmailSubject;
    std::string S_ProgressBarCaption;
    std::string S_CloseApp;
    std::string S_LabelTopProgress;
    std::string S_LabelTopComplete;
    std::string S_CopyError;
    std::string S_ZipEmpty;
    std::string S_Fail;
    std::string S_Complete;
    std::string S_LabelTopFolder;
    std::string S_LabelFolder;
    std::string S_BChangeFolder;
    std::string S_BInstall;
    std::string S_UnableCreateFolder;
    std::string S_LabelCreateDesktopIcon;
    std::string S_UninstallLabelTop;
    std::string S_UninstallLabelTopPluv;
    std::string S_LabelUninstall;
    std::string S_LabelUninstallYouSure;
    std::string S_LabelUninstallFeedback;
    std::string S_LabelUninstallClickHere;
    std::string S_LabelUninstallContinue;
    std::string S_BUninstallPluv;
    std::string S_BCancelPLUV;
    std::string S_BUninstall;
    std::string S_BCancel;
    std::string S_UninstallFiles;
    std::string S_UninstallShortCuts;
    std::string S_UninstallRegistries;
    std::string S_AutoUninstall;
    std::string S_UninstallComplete;
    std::string S_CBRestart;
    std::string S_UninstallMessage;
    std::string S_CodeLanguage;
    std::string S_FRetryCaption;
    std::string S_FRetryLabel;
    std::string S_BRetry;
};
