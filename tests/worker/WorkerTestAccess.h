// The tests' one way to the worker's steps and progress state, which the window never calls.
#pragma once

#include <string>

#include "worker/UThread.h"

struct TThreadLiveUpdateTestAccess {
    using Worker = TThreadLiveUpdate;
    static bool TerminateApplication(Worker& w) { return w.TerminateApplication(); }
    static bool ExecuteBatch(Worker& w) { return w.ExecuteBatch(); }
    static bool RegisterApplication(Worker& w) { return w.RegisterApplication(); }
    static void DeleteUninstallEntry(Worker& w, const std::string& path, platform::RootKey root) {
        w.DeleteUninstallEntry(path, root);
    }
    static void DeleteRegistryPath(Worker& w, const std::string& path, platform::RootKey root) {
        w.DeleteRegistryPath(path, root);
    }
    static void DeleteOnReboot(Worker& w, const std::string& path) { w.DeleteOnReboot(path); }
    static const std::string& UninstallNoticeURL(const Worker& w) { return w.UninstallNoticeURL(); }
    // Whether the last decompression step confirmed what the early pass unpacked during the download.
    static bool UnpackedEarly(const Worker& w) { return w.unpackedEarly_; }
    static const ProgressModel& Overall(const Worker& w) { return w.Overall(); }
    static const ProgressModel& Pending(const Worker& w) { return w.Pending(); }
};
using Steps = TThreadLiveUpdateTestAccess;
