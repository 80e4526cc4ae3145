// TFRetry: the modal dialog that lists the files the copy step could not place and asks the user
// to retry. Built from the dialog resource TFRETRY; one dialog per question, on the window's thread.
#pragma once

#include <string>
#include <vector>

class TFileXML;

class TFRetry {
public:
    // Takes its four texts from the language table.
    TFRetry(const TFileXML& language, void* owner);
    // Fills the list ("name (folder)" a line) and shows the dialog modally: true for Retry; Cancel
    // and the close box give false; Esc does nothing.
    bool ShowFiles(const std::vector<std::string>& files);

private:
    const TFileXML& language_;
    void* owner_;
};
