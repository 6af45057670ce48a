// Chooses, once per process, the AES back end that CRijnDael's 16-byte blocks use.
#include "AesBackend.h"

namespace {

const AesBackend* ChooseBestBackend() { return nullptr; }

const AesBackend*& ActiveSlot() {
    static const AesBackend* active = ChooseBestBackend();
    return active;
}

}  // namespace

const AesBackend* ActiveAesBackend() { return ActiveSlot(); }

void SelectAesBackendForTesting(const AesBackend* backend) { ActiveSlot() = backend; }
