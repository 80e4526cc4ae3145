#include "AllocationHook.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace hooks {

namespace {

struct Armed {
    std::mutex mutex;
    std::vector<std::string> names;  // the points that have not fired yet
};

Armed& ArmedPoints() {
    static Armed* armed = [] {
        Armed* a = new Armed;
        const char* list = std::getenv("KLU_FAIL_ALLOCATION");
        std::string name;
        for (const char* p = list != nullptr ? list : ""; ; ++p) {
            if (*p == ',' || *p == '\0') {
                if (!name.empty()) a->names.push_back(name);
                name.clear();
                if (*p == '\0') break;
            } else {
                name += *p;
            }
        }
        return a;
    }();
    return *armed;
}

}  // namespace

void AllocationPoint(const char* name) {
    Armed& armed = ArmedPoints();
    std::lock_guard<std::mutex> lock(armed.mutex);
    for (auto it = armed.names.begin(); it != armed.names.end(); ++it) {
        if (*it != name) continue;
        armed.names.erase(it);
        throw std::bad_alloc();
    }
}

}  // namespace hooks
