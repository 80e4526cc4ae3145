// Signed packages through the whole install chain under Wine, with the check's cryptography from
// CNG: with the publisher's key only the package it signed installs; every other case (unsigned,
// another key, one byte changed in each region, bytes after the signature, a cut file) ends the
// decompression with its text and changes nothing. Without a key both install alike.
// The keys and packages are made for this run by run_worker_tests.sh (tests/sign/sign_package.py).
#include <sstream>

#include "HostileFixture.h"

namespace {

class SignedTest : public hostilerun::HostileTest {
protected:
    std::string signing;  // the run's keys, the cases and cases.tsv

    void SetUp() override {
        HostileTest::SetUp();
        const char* folder = std::getenv("KLU_TEST_SIGNING");
        ASSERT_NE(folder, nullptr) << "run through run_worker_tests.sh";
        signing = folder;
    }

    std::string Case(const std::string& name) { return ReadFileBytes(signing + "\\" + name + ".zip"); }

    // Installs one package into a fresh install folder; the finish page's message.
    std::string Install(const std::string& name, const std::string& key) {
        const std::string package = Case(name);
        EXPECT_TRUE(hostilerun::WriteBytes(packages + "\\" + name + ".zip", package));
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", name + ".zip"));
        settings.InstallFolder = scratch + "\\installed-" + name + (key.empty() ? "" : "-keyed");
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        worker.packageKey = key;
        RunToEnd(worker);
        platform::RemoveFile(packages + "\\" + name + ".zip");
        EXPECT_EQ(ReadFileBytes(settings.InstallFolder + "\\a.txt"), "alpha\r\n") << name;
        EXPECT_EQ(ReadFileBytes(settings.InstallFolder + "\\sub\\b.dll").size(), 1300u) << name;
        EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName)) << name;
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\" + name + ".zip")) << name;
        CleanRegistry();
        return view.finishes.size() == 1 ? view.finishes[0].message : "<no single finish>";
    }
};

TEST_F(SignedTest, WithTheKeyOnlyWhatThePublisherSignedIsUnpacked) {
    packageKey = ReadFileBytes(signing + "\\publisher.pub.pem");
    ASSERT_NE(packageKey.find("BEGIN PUBLIC KEY"), std::string::npos);
    std::istringstream cases(ReadFileBytes(signing + "\\cases.tsv"));
    std::vector<hostilerun::Row> rows;
    std::string line;
    bool signedSeen = false;
    while (std::getline(cases, line)) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab), text = line.substr(tab + 1);
        if (text == "-") {
            signedSeen = true;
            continue;
        }
        rows.push_back({name, "pkg", Case(name), language.S_ZipEmpty + "\r\n" + text, ""});
    }
    ASSERT_TRUE(signedSeen);
    ASSERT_EQ(rows.size(), 11u);
    // An empty download and a package that is not ZIP at all are refused before the extractor too.
    rows.push_back({"empty download", "empty", "", language.S_ZipEmpty + "\r\n" +
                    "The package is incomplete: its ZIP end record is missing.", ""});
    RunRows(rows);

    EXPECT_EQ(Install("signed", packageKey), language.S_Successfull);
}

TEST_F(SignedTest, AKeyTheCheckCannotUseRefusesEveryPackage) {
    packageKey = "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n";
    RunRows({{"signed, but the key is not one", "pkg", Case("signed"),
              language.S_ZipEmpty + "\r\nThe package's signature could not be checked: the built-in key is not a "
                                    "P-256 public key",
              ""}});
}

TEST_F(SignedTest, WithoutAKeySignedAndUnsignedInstallAlike) {
    EXPECT_EQ(Install("signed", ""), language.S_Successfull);
    EXPECT_EQ(Install("unsigned", ""), language.S_Successfull);
    EXPECT_EQ(Install("other-key", ""), language.S_Successfull);
}

}  // namespace
