#include "model/PathOrder.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace pathorder {

namespace {

// Spread ids leave at least this much room per item, so that a few more
// can be placed in each gap before the next spreading.
constexpr int64_t kSpacing = 64;

struct Slot {
    int64_t old = 0;     // 0 for a new path
    int64_t id = 0;      // 0 while not placed
    size_t added = 0;    // index into `added` for a new path
};

// Ids for `count` items spread evenly strictly between `low` and `high`.
void spread(std::vector<Slot>& slots, size_t from, size_t count, int64_t low, int64_t high)
{
    const __int128 range = __int128(high) - low;
    for (size_t t = 0; t < count; ++t)
        slots[from + t].id = int64_t(low + range * __int128(t + 1) / __int128(count + 1));
}

} // namespace

Plan place(const std::vector<int64_t>& existing, const std::function<std::string(int64_t)>& keyOf,
           const std::vector<std::string>& added)
{
    Plan plan;
    plan.ids.assign(added.size(), 0);
    if (added.empty())
        return plan;

    // Where each new path goes among the existing ones.
    std::vector<size_t> order(added.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return before(added[a], added[b]); });
    std::vector<size_t> position(added.size());
    {
        size_t low = 0; // new paths come sorted: each search starts where the last one ended
        for (size_t i : order) {
            size_t lo = low, hi = existing.size();
            while (lo < hi) {
                const size_t mid = lo + (hi - lo) / 2;
                if (before(keyOf(existing[mid]), added[i]))
                    lo = mid + 1;
                else
                    hi = mid;
            }
            position[i] = low = lo;
        }
    }

    // Every item in path order.
    std::vector<Slot> slots;
    slots.reserve(existing.size() + added.size());
    {
        size_t e = 0;
        for (size_t i : order) {
            for (; e < position[i]; ++e)
                slots.push_back({existing[e], existing[e], 0});
            slots.push_back({0, 0, i});
        }
        for (; e < existing.size(); ++e)
            slots.push_back({existing[e], existing[e], 0});
    }
    const size_t n = slots.size();
    auto idBefore = [&](size_t i) { return i == 0 ? int64_t(0) : slots[i - 1].id; };
    // The id after slot i: the next existing one (new slots after it are not placed yet).
    auto nextExisting = [&](size_t i) {
        size_t j = i + 1;
        while (j < n && slots[j].old == 0)
            ++j;
        return j;
    };

    for (size_t i = 0; i < n;) {
        if (slots[i].old != 0) {
            ++i;
            continue;
        }
        size_t end = nextExisting(i); // new slots i .. end-1
        const int64_t low = idBefore(i);
        const int64_t high = end < n ? slots[end].id : kEnd;
        if (high - low - 1 >= int64_t(end - i)) {
            spread(slots, i, end - i, low, high);
            i = end;
            continue;
        }
        // No room: spread a window around the gap, doubled until its ids
        // leave kSpacing per item, or the whole list.
        size_t a = i, b = end; // the window is [a, b)
        for (size_t grow = std::max<size_t>(end - i, 1);; grow *= 2) {
            a = a > grow ? a - grow : 0;
            b = b + grow < n ? nextExisting(b + grow - 1) : n;
            const int64_t lo = idBefore(a);
            const int64_t hi = b < n ? slots[b].id : kEnd;
            if (__int128(hi) - lo >= __int128(kSpacing) * __int128(b - a + 1) || (a == 0 && b == n)) {
                if (__int128(hi) - lo - 1 < __int128(b - a))
                    throw std::length_error("no room left for the ids of the search index");
                spread(slots, a, b - a, lo, hi);
                break;
            }
        }
        i = b;
    }

    std::vector<std::pair<int64_t, int64_t>> up, down;
    for (const Slot& s : slots) {
        if (s.old == 0)
            plan.ids[s.added] = s.id;
        else if (s.id > s.old)
            up.emplace_back(s.old, s.id);
        else if (s.id < s.old)
            down.emplace_back(s.old, s.id);
    }
    // Moves up from the last, moves down from the first: each id taken is
    // free then, and no item passes another.
    std::reverse(up.begin(), up.end());
    plan.moves = std::move(up);
    plan.moves.insert(plan.moves.end(), down.begin(), down.end());
    return plan;
}

} // namespace pathorder
