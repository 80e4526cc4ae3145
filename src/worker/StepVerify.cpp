// The signature check before the package is unpacked: a build that carries the publisher's key
// unpacks only packages signed with it.
#include "platform/Crypto.h"
#include "sign/PackageCheck.h"
#include "worker/UThread.h"

std::string TThreadLiveUpdate::PackageRefusal() {
    if (packageKey.empty()) return "";
    sign::PublicPoint key;
    if (!sign::ParsePublicKeyPem(packageKey, key)) {
        return sign::CryptoFailureText(sign::CryptoError("the built-in key is not a P-256 public key"));
    }
    return sign::PackageFileRefusal(ArchivePath(), key, platform::SystemCrypto());
}
