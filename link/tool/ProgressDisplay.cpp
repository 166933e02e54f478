// The progress bar and its plain-line form.
#include "ProgressDisplay.h"

#include <cstdio>
#include <string>

namespace towerlink::tool {

ProgressDisplay::ProgressDisplay(std::ostream& out, bool terminal, Clock& clock)
    : out_(out), terminal_(terminal), clock_(clock), started_(clock.now()) {}

void ProgressDisplay::update(std::size_t done, std::size_t total) {
    if (total == 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (!terminal_) {
        const int tenth = percent / 10;
        if (tenth == lastTenth_ && done != total) return;
        lastTenth_ = tenth;
        out_ << "progress " << done << "/" << total << " bytes (" << percent << "%)" << std::endl;
        return;
    }
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(done * kWidth / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::string left = "--:--";
    const auto elapsed = clock_.now() - started_;
    if (done > 0) {
        const auto seconds = elapsed.count() * static_cast<long long>(total - done) /
                             static_cast<long long>(done) / 1000000;
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
        left = text;
    }
    char line[128];
    std::snprintf(line, sizeof line, "\r[%s] %3d%%  %zu/%zu bytes  %s left ", bar.c_str(), percent,
                  done, total, left.c_str());
    out_ << line << std::flush;
    drawn_ = true;
}

void ProgressDisplay::finish() {
    if (drawn_) out_ << std::endl;
    drawn_ = false;
}

}  // namespace towerlink::tool
