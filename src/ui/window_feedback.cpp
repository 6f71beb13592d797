#include "ui/window_feedback.h"

#include <cctype>

#include "host/cp1252.h"
#include "run/run.h"

namespace orlune::ui {

namespace {

// Highlight one row, more rows, invert highlighted, invert selected.
constexpr int kHighlightButtons = 4;

}  // namespace

std::string Window_Title(std::string_view designPath) {
    const std::size_t slash = designPath.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? designPath : designPath.substr(slash + 1);
    if (name.empty()) return "ORLUNE";
    return "ORLUNE - " + std::string(name);
}

void Limit_Utilities(Run& run, const std::string& reason) {
    if (reason.empty()) return;
    for (int i = 0; i < kHighlightButtons; ++i) {
        Control& button = run.form.at("Command8", i);
        button.enabled = false;
        button.hint = host::toCp1252(reason);  // as every text of the model
    }
}

void WindowFeedback::note(const HostNews& news) {
    for (const std::string& w : news.warnings)
        if (seen_.insert(w).second) pending_.push_back(w);
}

void WindowFeedback::afterStartUp(const HostNews& news) {
    note(news);
}

void WindowFeedback::afterPass(Run& run, const HostNews& news) {
    note(news);
    std::string reminder;
    if (!reminded_ && news.filesWritten > 0 && !news.afterWrite.empty()) {
        reminded_ = true;
        reminder = news.afterWrite;
        reminder[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reminder[0])));
        reminder = std::to_string(news.filesWritten) + (news.filesWritten == 1 ? " file" : " files") + " written. " +
                   reminder + " to see the change.";
    }
    if (pending_.empty()) {
        if (!reminder.empty()) run.platform.messageBox(reminder, "Information", Icon::Information, Buttons::Ok);
        return;
    }
    // Line breaks of a box are carriage returns.
    std::string text;
    for (const std::string& w : pending_)
        text += (text.empty() ? "" : "\r") + w;
    if (!reminder.empty()) text += "\r\r" + reminder;
    pending_.clear();
    run.platform.messageBox(text, "Warning", Icon::Warning, Buttons::Ok);
}

}  // namespace orlune::ui
