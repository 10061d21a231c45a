// Windows: no RealtimeKit and no nice values; the highest thread priority of
// the normal class stands for real time.
#include "ThreadPriority.h"

#include <windows.h>

namespace {

class TWinPriorityApi : public IThreadPriorityApi {
public:
    int RealtimeKitMax() override { return 0; }
    bool RealtimeKitMakeRealtime(int) override { return false; }
    int FifoLimit() override { return 15; }
    bool SetFifo(int) override {
        return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
    }
    int CurrentNice() override { return 0; }
    int LowestNice() override { return 0; }
    bool SetNice(int) override { return false; }
};

} // namespace

std::unique_ptr<IThreadPriorityApi> IThreadPriorityApi::Platform() {
    return std::make_unique<TWinPriorityApi>();
}
