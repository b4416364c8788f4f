#include "library/work_journal.h"

namespace vellum {

JournalEntry* WorkJournal::Add(std::unique_ptr<JournalEntry> entry) {
    for (auto earlier = pending_.rbegin(); earlier != pending_.rend(); ++earlier) {
        if ((*earlier)->Key() != entry->Key()) continue;
        if ((*earlier)->Absorb(*entry)) return earlier->get();
        if (!entry->PassesOver(**earlier)) break;
    }
    pending_.push_back(std::move(entry));
    return pending_.back().get();
}

void WorkJournal::FrontApplied(std::int64_t sequence) noexcept {
    if (applied_.size() >= kAppliedLimit) applied_.pop_front();
    try {
        // Fails, if at all, while getting a block: before the entry is moved.
        applied_.emplace_back(sequence, std::move(pending_.front()));
    } catch (...) {
    }
    pending_.pop_front();
}

void WorkJournal::Requeue(std::int64_t sequence) {
    while (!applied_.empty() && applied_.back().first > sequence) {
        pending_.push_front(std::move(applied_.back().second));
        applied_.pop_back();
    }
}

void WorkJournal::Overlay(const std::string& key, RecordOwner& row) const {
    for (const auto& entry : pending_)
        if (entry->Key() == key) entry->Overlay(row);
}

void WorkJournal::Clear() noexcept {
    pending_.clear();
    applied_.clear();
}

}  // namespace vellum
