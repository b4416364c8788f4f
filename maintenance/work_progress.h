// What the maintenance tools' long work reports while it runs.
#pragma once

#include <cstddef>
#include <functional>

namespace vellum {

// Called now and then during long work: items done of a total.
using WorkProgress = std::function<void(std::size_t done, std::size_t total)>;

// How a piece of work on the library ended.
enum class LibraryWork { Done, Busy, Failed };

}  // namespace vellum
