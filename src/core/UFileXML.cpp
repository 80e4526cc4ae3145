#include "UFileXML.h"

#include "XmlReader.h"

namespace {

const char* const English = "ENGLISH";
const char* const OuterSection = "LANGUAGE";

}  // namespace

#define KLU_KEY(name, builtin) TFileXML::Key{#name, &TFileXML::name, builtin}

const std::array<TFileXML::Key, TFileXML::KeyCount>& TFileXML::Keys() {
    // The built-in texts are the English wording of the live update; they are shown only when no
    // language section could be read at all.
    static const std::array<Key, KeyCount> keys = {{
        KLU_KEY(S_Download, "Downloading"),
        KLU_KEY(S_Unzip, "Decompressing"),
        KLU_KEY(S_Kill, "Terminating Application"),
        KLU_KEY(S_Copy, "Copying new files"),
        KLU_KEY(S_ExecBatch, "Configuring application"),
        KLU_KEY(S_Delete, "Deleting temporary files"),
        KLU_KEY(S_StartApp, "Starting application"),
        KLU_KEY(S_KillError,
                "Unable to terminate the application that need to be updated. Please \r\n"
                "terminate this application manually and restart this setup. If it doesn't \r\n"
                "work, download the full package from the web site."),
        KLU_KEY(S_DownloadError,
                "Unable to download update from the server! \r\n"
                "Try redoing the live update. \r\n"
                "If the problem persist, contact technical support."),
        KLU_KEY(S_UnknownError,
                "We are deeply sorry, but the application encountered a problem.\r\n"
                "Try redoing the live update. \r\n"
                "If the problem persist, contact technical support."),
        KLU_KEY(S_Successfull, "The application was updated succesfully!"),
        KLU_KEY(S_FormCaption, "Veltrona Live Update"),
        KLU_KEY(S_EmailSubject, nullptr),
        KLU_KEY(S_ProgressBarCaption, "Update progress"),
        KLU_KEY(S_CloseApp, "Are you sure you want to abort the update process?"),
        KLU_KEY(S_LabelTopProgress, "Installation in Progress"),
        KLU_KEY(S_LabelTopComplete, "Installation Complete"),
        KLU_KEY(S_CopyError,
                "Unable to copy one or more files.\r\n"
                "Please close all running applications and redo the update."),
        KLU_KEY(S_ZipEmpty, "The server provided no update."),
        KLU_KEY(S_Fail, "Installation Fail"),
        KLU_KEY(S_Complete, "Installation Complete"),
        KLU_KEY(S_LabelTopFolder, "Select the installation folder"),
        KLU_KEY(S_LabelFolder, "Folder"),
        KLU_KEY(S_BChangeFolder, "Change"),
        KLU_KEY(S_BInstall, "Install"),
        KLU_KEY(S_UnableCreateFolder, "Unable to create the specified folder!"),
        KLU_KEY(S_LabelCreateDesktopIcon, "Create desktop shortcut"),
        KLU_KEY(S_UninstallLabelTop, "Uninstall application"),
        KLU_KEY(S_UninstallLabelTopPluv, nullptr),
        KLU_KEY(S_LabelUninstall, "The application will be uninstalled."),
        KLU_KEY(S_LabelUninstallYouSure, nullptr),
        KLU_KEY(S_LabelUninstallFeedback, nullptr),
        KLU_KEY(S_LabelUninstallClickHere, nullptr),
        KLU_KEY(S_LabelUninstallContinue, nullptr),
        KLU_KEY(S_BUninstallPluv, nullptr),
        KLU_KEY(S_BCancelPLUV, nullptr),
        KLU_KEY(S_BUninstall, "Uninstall"),
        KLU_KEY(S_BCancel, "Cancel"),
        KLU_KEY(S_UninstallFiles, "Deleting files"),
        KLU_KEY(S_UninstallShortCuts, "Deleting shortcuts"),
        KLU_KEY(S_UninstallRegistries, "Deleting registries"),
        KLU_KEY(S_AutoUninstall, "Auto uninstall"),
        KLU_KEY(S_UninstallComplete,
                "Uninstall completed. You should restart your computer to complete the uninstall."),
        KLU_KEY(S_CBRestart, "Restart computer"),
        KLU_KEY(S_UninstallMessage, "You should restart your computer to complete the uninstall."),
        KLU_KEY(S_CodeLanguage, "EN"),
        KLU_KEY(S_FRetryCaption, "File Copy Problem"),
        KLU_KEY(S_FRetryLabel,
                "Install was unable to copy some files. Try closing any application that might be "
                "using those files and click retry."),
        KLU_KEY(S_BRetry, "Retry"),
    }};
    return keys;
}

#undef KLU_KEY

void TFileXML::SetLanguage(const std::string& name) {
    LanguageName = name.empty() ? English : name;
}

void TFileXML::LoadLanguage(const std::string& resourceName, const ResourceLoader& loader) noexcept {
    try {
        std::string bytes;
        // A resource that is missing reads as an empty text: no section, so the fallbacks apply.
        if (!loader || !loader(resourceName, bytes)) bytes.clear();
        LoadLanguageFromBytes(bytes);
    } catch (...) {
        LanguageName = English;
        LoadDefaults();
    }
}

void TFileXML::LoadLanguageFromBytes(const std::string& bytes) noexcept {
    try {
        const std::string text = xmlreader::PrepareText(bytes);
        const std::string outer = xmlreader::GetSection(OuterSection, text);
        const std::string section = xmlreader::GetSection(LanguageName, outer);
        if (!section.empty()) {
            ReadKeys(section);
            return;
        }
        if (LanguageName != English) {
            LanguageName = English;
            const std::string english = xmlreader::GetSection(English, outer);
            if (!english.empty()) {
                ReadKeys(english);
                return;
            }
        }
        LoadDefaults();
    } catch (...) {
        // The built-in texts are English: say so, so that the name matches the texts shown.
        try {
            LanguageName = English;
            LoadDefaults();
        } catch (...) {
        }
    }
}

void TFileXML::LoadDefaults() {
    for (const Key& key : Keys()) {
        if (key.builtin != nullptr) this->*key.field = key.builtin;
    }
}

void TFileXML::ReadKeys(const std::string& section) {
    for (const Key& key : Keys()) this->*key.field = xmlreader::GetKeyValue(key.name, section);
}

const std::string* TFileXML::Find(const std::string& key) const {
    for (const Key& k : Keys()) {
        if (key == k.name) return &(this->*k.field);
    }
    return nullptr;
}
