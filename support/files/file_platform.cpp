// What the platforms share: the judgement of a sync's answer.
#include "support/files/file_platform.h"

namespace FilePlatform {
namespace {
// A sync interrupted this often in a row says nothing about the data.
constexpr int32_t MaxSyncAttempts = 100;
}  // namespace

int32_t Sync(Handle file) {
    if (file == 0) return 0;
    for (int32_t attempt = 0; attempt < MaxSyncAttempts; ++attempt) {
        switch (SyncOnce(file)) {
            case SyncDone:
            case SyncNothingToSync:
                return 1;
            case SyncInterrupted:
                continue;
            case SyncFailed:
                return 0;
        }
    }
    return 0;
}
}  // namespace FilePlatform
