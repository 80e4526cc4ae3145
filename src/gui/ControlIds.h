// The control ids of the main window and the retry dialog. They are stable: the end-to-end driver
// finds the controls by them.
#pragma once

namespace ids {
// Window class of the main window.
constexpr const char* MainWindowClass = "TFMain";

// The four pages.
constexpr int PanelSetup = 100;
constexpr int PanelSelectFolder = 101;
constexpr int PanelFinish = 102;
constexpr int PanelUninstall = 103;

// Progress page.
constexpr int LabelTop = 110;
constexpr int LabelOverall = 111;
constexpr int PBOverall = 112;
constexpr int LabelPending = 113;
constexpr int PBPending = 114;
constexpr int VLTImageTopRight = 115;
constexpr int BRSImageTopRight = 116;

// Folder page.
constexpr int SFLabelTop = 120;
constexpr int SFLabelFolder = 121;
constexpr int BChangeFolder = 122;
constexpr int EFolder = 123;
constexpr int BInstall = 124;
constexpr int SFImageVLT = 125;
constexpr int SFImageBRS = 126;

// Result page.
constexpr int FBOk = 130;
constexpr int FLabelTop = 131;
constexpr int FLabelMessage = 132;
constexpr int CBCreateDesktop = 133;
constexpr int CBRestart = 134;
constexpr int FVLTImageLeft = 135;
constexpr int FBRSImageLeft = 136;

// Uninstall page.
constexpr int UninstallLabelTop = 140;
constexpr int LabelUninstall = 141;
constexpr int LabelUninstallAreYouSure = 142;
constexpr int LabelUninstallFeedback = 143;
constexpr int LabelUninstallClickhere = 144;
constexpr int LabelUninstallContinue = 145;
constexpr int BUninstall = 146;
constexpr int BCancel = 147;
constexpr int PUVLTImage = 148;
constexpr int PUBRSImage = 149;

// Retry dialog (the dialog resource TFRETRY).
constexpr int BRetry = 201;
constexpr int RetryBCancel = 202;
constexpr int LBRetry = 203;
constexpr int LRetryMessage = 204;

// Pictures (bitmap resources) and the icon.
constexpr int BitmapVltTop = 300;    // 106 by 48
constexpr int BitmapBrsTop = 301;    // 120 by 48
constexpr int BitmapVltLeft = 302;   // 115 by 48
constexpr int BitmapBrsLeft = 303;   // 115 by 48
constexpr int MainIcon = 310;
}  // namespace ids
