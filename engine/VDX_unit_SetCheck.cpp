#include "engine/VDX_unit_SetCheck.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "engine/VDX_unit_Helpers.h"

namespace vdx {
namespace {

// Replaces each "%s" of format by the next argument, in order.
std::u16string FillIn(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
    std::u16string text;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
            next != args.end()) {
            text += *next++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

constexpr std::u16string_view kEmptySet = u"Current search set does not contain a search path.";
constexpr std::u16string_view kSamePaths =
    u"The same search paths are in current search set\r\n'%s'%s";
constexpr std::u16string_view kParentPath =
    u"The search path\r\n '%s'\r\n\r\n is a parent of a folder in current search set\r\n '%s'%s";
constexpr std::u16string_view kChildPath =
    u"The search path\r\n '%s'\r\n\r\n is a child of search folder in current set\r\n '%s'%s";
constexpr std::u16string_view kAlreadyInSet =
    u"The search path is already existed in current set\r\n'%s'%s";

} // namespace

std::u16string SetCheckKey(std::u16string_view pathText) {
    return AddTrailingBackslash(TrimText(pathText));
}

TSetCheckResult CheckSearchSet(const TSearchSet& set) {
    TSetCheckResult result;
    const std::size_t count = set.Count();
    if (count == 0) {
        result.ok = false;
        result.message = kEmptySet;
        result.title = kTitleIncorrectField;
        return result;
    }

    std::vector<std::u16string> keys(count);
    for (std::size_t i = 0; i < count; ++i)
        keys[i] = SetCheckKey(set.Path(i)->SearchPath);
    // The neighbours are taken in exact key order, the order the keys are
    // compared in: ordered without letter case, /a, /A, /a would put the two
    // equal keys apart and let the duplicate through. In this order a key
    // lies between a folder and its sub-folders, so every nesting shows up
    // in some pair of neighbours, and always with the parent first (so the
    // child wording never applies here).
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    for (std::size_t n = 0; n + 1 < count; ++n) {
        const std::size_t first = order[n];
        const std::size_t second = order[n + 1];
        const std::u16string& a = keys[first];
        const std::u16string& b = keys[second];
        const std::u16string& textA = set.Path(first)->SearchPath;
        const std::u16string& textB = set.Path(second)->SearchPath;
        if (a == b) {
            result.message = FillIn(kSamePaths, {textA, kPleaseModify});
            result.title = kTitleDuplicatePath;
        } else if (b.starts_with(a)) {
            result.message = FillIn(kParentPath, {textA, textB, kPleaseModify});
            result.title = kTitleIncorrectPath;
        } else {
            continue;
        }
        result.ok = false;
        for (std::size_t i = 0; i < count; ++i)
            if (keys[i] == a || keys[i] == b)
                result.selectIndexes.push_back(i);
        return result;
    }
    return result;
}

std::u16string PathDialogKey(std::u16string_view pathText) {
    return ExpandEnvVars(AddTrailingBackslash(TrimText(pathText)));
}

TSetCheckResult CheckDialogPath(const TSearchSet& set, std::u16string_view newText,
                                std::u16string_view startText) {
    TSetCheckResult result;
    const std::u16string n = PathDialogKey(newText);
    const std::u16string e = PathDialogKey(startText);
    for (std::size_t i = 0; i < set.Count(); ++i) {
        const std::u16string& stored = set.Path(i)->SearchPath;
        const std::u16string k = PathDialogKey(stored);
        if (k == e)
            continue;
        if (k == n)
            result.message = FillIn(kAlreadyInSet, {newText, kPleaseModify});
        else if (k.starts_with(n))
            result.message = FillIn(kParentPath, {newText, stored, kPleaseModify});
        else if (n.starts_with(k))
            result.message = FillIn(kChildPath, {newText, stored, kPleaseModify});
        else
            continue;
        result.ok = false;
        result.title = kTitleIncorrectField;
        return result;
    }
    return result;
}

} // namespace vdx
