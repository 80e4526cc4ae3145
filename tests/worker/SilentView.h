// What the child programs of the worker tests share: a view that shows nothing and answers
// Cancel, and the settings as the window fills them.
#pragma once

#include <string>

#include "UClasses.h"
#include "UFileXML.h"
#include "worker/WorkerView.h"

class SilentView : public WorkerView {
public:
    void SetProgress(ProgressBar, int, int) override {}
    void SetLabelPending(const std::string&) override {}
    void SetLabelTop(const std::string&) override {}
    void SetFinishLabelTop(const std::string&) override {}
    void SetCreateDesktopVisible(bool) override {}
    void SetRestartVisible(bool) override {}
    void ShowFinish(const std::string&, int) override {}
    bool AskRetry(const TFileXML&, const std::vector<std::string>&) override { return false; }
};

// English texts and the settings of a run into installFolder.
inline void PrepareChildRun(TFileXML& language, TLiveUpdate& settings, const std::string& installFolder) {
    language.SetLanguage("ENGLISH");
    language.LoadDefaults();
    settings.LanguageTable = &language;
    settings.InstallFolder = installFolder;
    settings.SetApplicationKeys(ApplicationKey);
}
