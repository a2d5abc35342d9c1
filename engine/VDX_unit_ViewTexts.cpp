#include "engine/VDX_unit_ViewTexts.h"

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

std::u16string GroupedNumber(std::uint64_t value) {
    return FormatNumber(static_cast<std::int64_t>(value));
}

void AppendQuoted(std::u16string& text, std::u16string_view piece) {
    text += u'"';
    text += piece;
    text += u'"';
}

void AppendContains(std::u16string& text, std::uint32_t fileCount, std::uint64_t totalBytes) {
    text += u" contains ";
    AppendDecimal(text, fileCount);
    text += u" files and ";
    text += GroupedNumber(totalBytes);
    text += u" bytes";
}

std::u16string GroupNumberText(std::int64_t group) {
    std::u16string text = u"group #";
    AppendDecimal(text, static_cast<std::uint64_t>(group) + 1);
    return text;
}

bool GroupExists(const TScanData& store, TViewKind view, std::int64_t group) {
    return group >= 0 && group < static_cast<std::int64_t>(store.GroupCount(view));
}

std::u16string_view PoolText(const TScanData& store, std::uint32_t bytePos,
                             std::uint32_t byteLength) {
    return {store.Pool().At(bytePos), std::size_t{byteLength} / 2};
}

} // namespace

std::u16string_view ViewCaption(TViewKind view) {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return u"Same name";
    case kViewSameSize:
        return u"Same size";
    case kViewSameContent:
        return u"Same content";
    case kViewFullClones:
        return u"Full clones";
    case kViewZeroSize:
        return u"Zero size";
    default:
        return u"Same name-size";
    }
}

std::u16string_view GroupName(const TScanData& store, TViewKind view, TGroupIndex group) {
    if (!GroupExists(store, view, group.Value()))
        return kNoNameText;
    const auto g = static_cast<std::uint32_t>(group.Value());
    switch (NormalizeViewKind(view)) {
    case kViewSameName: {
        const TNameGroupItem& item = store.NameGroups()[g];
        return PoolText(store, item.m_namePos, item.m_nameLength);
    }
    case kViewSameNameSize: {
        const TNameSizeGroupItem& item = store.NameSizeGroups()[g];
        return PoolText(store, item.m_namePos, item.m_nameLength);
    }
    case kViewFullClones: {
        const TNameSizeGroupItem& item = store.CloneGroups()[g];
        return PoolText(store, item.m_namePos, item.m_nameLength);
    }
    default:
        return kNoNameText;
    }
}

std::u16string GroupText(const TScanData& store, TViewKind view, TGroupIndex group) {
    if (!GroupExists(store, view, group.Value()))
        return std::u16string(kNoGroupText);
    const auto g = static_cast<std::uint32_t>(group.Value());
    const TViewKind kind = NormalizeViewKind(view);
    std::u16string text = GroupNumberText(group.Value());
    switch (kind) {
    case kViewSameName: {
        const TNameGroupItem& item = store.NameGroups()[g];
        text += u' ';
        AppendQuoted(text, DisplayCaseName(GroupName(store, kind, group)));
        AppendContains(text, item.m_head.m_fileCount, item.m_totalBytes);
        break;
    }
    case kViewSameSize:
    case kViewSameContent: {
        const TSizeGroupItem& item =
            kind == kViewSameSize ? store.SizeGroups()[g] : store.ContentGroups()[g];
        text += u' ';
        AppendQuoted(text, GroupedNumber(item.m_size) + u" bytes");
        AppendContains(text, item.m_head.m_fileCount, item.m_totalBytes);
        break;
    }
    case kViewZeroSize: {
        text += u" contains ";
        AppendDecimal(text, store.FolderGroups()[g].m_head.m_fileCount);
        text += u" files";
        break;
    }
    default: { // Same name-size, Full clones
        const TNameSizeGroupItem& item =
            kind == kViewFullClones ? store.CloneGroups()[g] : store.NameSizeGroups()[g];
        text += u' ';
        AppendQuoted(text, DisplayCaseName(GroupName(store, kind, group)));
        text += u" & ";
        AppendQuoted(text, GroupedNumber(item.m_size) + u" bytes");
        AppendContains(text, item.m_head.m_fileCount, item.m_totalBytes);
        break;
    }
    }
    return text;
}

std::u16string RowGroupText(const TScanData& store, TViewKind view, TRow row) {
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    if (row.Value() < 0 || row.Value() >= static_cast<std::int64_t>(rows.Count()))
        return std::u16string(kNoGroupText);
    return GroupText(store, view,
                     TGroupIndex{rows[static_cast<std::uint32_t>(row.Value())].m_group});
}

std::u16string AttributeCellText(std::uint32_t attributes) {
    std::u16string text = u"----";
    if (attributes & kAttrArchive)
        text[0] = u'a';
    if (attributes & kAttrHidden)
        text[1] = u'h';
    if (attributes & kAttrReadOnly)
        text[2] = u'r';
    if (attributes & kAttrSystem)
        text[3] = u's';
    return text;
}

std::u16string FileCellText(const TScanData& store, TViewKind view, TFileIndex fileIndex,
                            int column) {
    if (fileIndex.Value() < 0 || static_cast<std::uint32_t>(fileIndex.Value()) >= store.FileCount())
        return {};
    const auto file = static_cast<std::uint32_t>(fileIndex.Value());
    switch (column) {
    case kGridColGroup: {
        const std::int32_t group = store.FileGroup(file, view);
        if (group < 0)
            return {};
        return FormatNumber(std::int64_t{group} + 1);
    }
    case kGridColName:
        return NameWithoutExtension(DisplayCaseName(store.FileName(file)));
    case kGridColExt: {
        const std::u16string name = DisplayCaseName(store.FileName(file));
        const std::size_t dot = name.rfind(u'.');
        // A leading dot makes a hidden name (".bashrc"), not an extension.
        if (dot == std::u16string::npos || dot == 0)
            return {};
        return name.substr(dot + 1);
    }
    case kGridColPath:
        return DisplayCaseName(store.FolderPathOfFile(file));
    case kGridColSize:
        return GroupedNumber(store.FileSize(file));
    case kGridColDate:
        return FormatFileTime(store.FileLastWrite(file));
    case kGridColAttr:
        return AttributeCellText(store.FileAttributes(file));
    default: // the mark column is drawn, not written
        return {};
    }
}

} // namespace vdx
