#include "settings/box_edit.h"

#include "base/module.h"
#include "base/text.h"
#include "base/trace.h"
#include "platform/platform.h"
#include "settings/access.h"
#include "settings/config.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace wbfax {
namespace {

constexpr const char *kEditSection = "RCVFAX_EDIT";
constexpr const char *kCommon = "COMMON";
constexpr std::uint32_t kLeaveEdit = 2;

std::string SlotKey(int slot) { return Format("wd%03d", slot); }
std::string DeletionKey(std::uint32_t box) { return Format("del%03u", box); }

std::int32_t ReadEditNumber(const std::string &key) {
    return static_cast<std::int32_t>(platform::ProfileGetInt(kEditSection, key.c_str(), 0, ConfigFilePath().c_str()));
}

void WriteEdit(const std::string &key, const char *value) {
    if (!platform::ProfileWriteString(kEditSection, key.c_str(), value, ConfigFilePath().c_str()))
        TraceSystemError("writing wbcatch.ini", ConfigFilePath());
}

void WriteBoxNumber(const std::string &file, const char *key, std::uint32_t box) {
    WriteProfileText(kCommon, key, std::string_view(Format("%03u", box)), file);
}

std::uint32_t ReadBoxNumber(const std::string &file, const char *key) {
    return static_cast<std::uint32_t>(ReadProfileNumber(kCommon, key, 0, file));
}

// A fresh work file for a box without rules: the fallback folders only.
void WriteDefaultRules(const std::string &work) {
    WriteProfileText("OTHER", "OtherFile", std::string_view("Rx"), work);
    WriteProfileText("OTHER", "TXFile", std::string_view("Tx"), work);
}

// Commits one slot's work file; false when its rules must stay in edit.
bool CommitSlot(int slot, std::vector<std::uint32_t> &committed) {
    const std::string work = WorkRuleFilePath(slot);
    const std::uint32_t box = GetSaveNo(work);
    if (box == 0) return true;  // never opened by the host: the slot goes, the file stays
    // The rule file is replaced whole, so a receive never reads a half-copied one.
    const std::string rule = RuleFilePath(box);
    const std::string staged = rule + ".new";
    if (!CopyTextFile(work, staged)) {
        TraceSystemError("committing a rule file", staged);
        platform::RemoveFile(staged);
        return false;
    }
    RemoveOriginal(staged);
    if (!platform::ReplacePath(staged, rule)) {
        TraceSystemError("committing a rule file", rule);
        platform::RemoveFile(staged);
        return false;
    }
    committed.push_back(box);
    const std::uint32_t original = GetOriginal(work);
    if (original != 0 && original != box && std::find(committed.begin(), committed.end(), original) == committed.end())
        platform::RemoveFile(RuleFilePath(original));  // the rules moved to another number
    platform::RemoveFile(work);
    return true;
}

}  // namespace

int FindEditSlot(std::uint32_t box) {
    if (box == 0) return 0;
    for (int slot = 1; slot <= kEditSlots; ++slot)
        if (static_cast<std::uint32_t>(ReadEditNumber(SlotKey(slot))) == box) return slot;
    return 0;
}

int FindFreeEditSlot() {
    for (int slot = 1; slot <= kEditSlots; ++slot)
        if (ReadEditNumber(SlotKey(slot)) == 0) return slot;
    return 0;
}

std::uint32_t ReadEditSlot(int slot) { return static_cast<std::uint32_t>(ReadEditNumber(SlotKey(slot))); }

void AssignEditSlot(int slot, std::uint32_t box) {
    WriteEdit(SlotKey(slot), Format("%03u", box).c_str());
    UnmarkBoxForDeletion(box);
}

void ReleaseEditSlot(int slot) { WriteEdit(SlotKey(slot), nullptr); }

void MarkBoxForDeletion(std::uint32_t box) { WriteEdit(DeletionKey(box), "1"); }
bool IsBoxMarkedForDeletion(std::uint32_t box) { return ReadEditNumber(DeletionKey(box)) == 1; }
void UnmarkBoxForDeletion(std::uint32_t box) { WriteEdit(DeletionKey(box), nullptr); }

void ClearDeletionMarks() {
    for (std::uint32_t box = 1; box <= kEditSlots; ++box) UnmarkBoxForDeletion(box);
}

void SetSaveNo(const std::string &file, std::uint32_t box) { WriteBoxNumber(file, "SaveNo", box); }
std::uint32_t GetSaveNo(const std::string &file) { return ReadBoxNumber(file, "SaveNo"); }
void SetOriginal(const std::string &file, std::uint32_t box) { WriteBoxNumber(file, "Original", box); }
std::uint32_t GetOriginal(const std::string &file) { return ReadBoxNumber(file, "Original"); }
void RemoveOriginal(const std::string &file) { WriteProfileText(kCommon, "Original", std::nullopt, file); }

bool CopyTextFile(const std::string &source, const std::string &target) {
    platform::Stream out = OpenWithOpenAccess(target, "wt+", platform::Disposition::OpenAlways);
    if (!out) return false;
    platform::Stream in = platform::Stream::Open(source, "rt");
    if (!in) return out.Close();
    char piece[260];
    bool ok = true;
    while (ok && in.ReadLine(piece, sizeof piece)) ok = out.Write(piece);
    ok = ok && !in.Failed();
    return out.Close() && ok;
}

bool NamesThisModule(std::string_view handlerName) {
    const std::string_view module = kModuleFileName;
    return handlerName.size() <= module.size() && EqualsIgnoringCase(handlerName, module.substr(0, handlerName.size()));
}

void OpenBoxEdit(const HostContext &context) {
    const auto mode = static_cast<std::uint32_t>(context.Slot(1));
    const auto box = static_cast<std::uint32_t>(context.Slot(2));
    const auto editBox = static_cast<std::uint32_t>(context.Slot(3));
    const char *text = context.Pointer<const char>(4);
    const char *handler = context.Pointer<const char>(5);

    int slot = FindEditSlot(box != 0 ? box : editBox);
    if (!NamesThisModule(handler ? handler : "")) {
        ReleaseEditSlot(slot);
        platform::RemoveFile(WorkRuleFilePath(slot));
        MarkBoxForDeletion(editBox);
        return;
    }
    if (mode == kLeaveEdit) {
        ReleaseEditSlot(slot);
        platform::RemoveFile(WorkRuleFilePath(slot));
        if (text && *text == '\0') platform::RemoveFile(RuleFilePath(editBox));
        return;
    }
    if (slot == 0) {
        slot = FindFreeEditSlot();
        if (slot == 0) return;  // every slot is taken: the box's rules stay as they are
        AssignEditSlot(slot, editBox);
        const std::string work = WorkRuleFilePath(slot);
        // A free slot can still hold a work file that was never committed; its rules and its
        // Original belong to another box and must not reach this one.
        platform::RemoveFile(work);
        if (RuleFileExists(box) && platform::CopyPath(RuleFilePath(box), work, false)) SetOriginal(work, box);
        else WriteDefaultRules(work);
    } else {
        AssignEditSlot(slot, editBox);
    }
    SetSaveNo(WorkRuleFilePath(slot), editBox);
}

void DeleteBox(const HostContext &context) {
    const auto box = static_cast<std::uint32_t>(context.Slot(1));
    if (const int slot = FindEditSlot(box)) {
        platform::RemoveFile(WorkRuleFilePath(slot));
        ReleaseEditSlot(slot);
    }
    MarkBoxForDeletion(box);
}

void FinishBoxEdits(const HostContext &context) {
    const bool commit = context.Slot(1) == 1;
    std::vector<std::uint32_t> committed;
    for (int slot = 1; slot <= kEditSlots; ++slot) {
        if (ReadEditSlot(slot) == 0) continue;
        if (commit) {
            if (!CommitSlot(slot, committed)) continue;  // kept for the next commit to try again
        } else {
            platform::RemoveFile(WorkRuleFilePath(slot));
        }
        ReleaseEditSlot(slot);
    }
    if (commit) {
        CommitWorkSettings();
        for (std::uint32_t box = 1; box <= kEditSlots; ++box) {
            if (!IsBoxMarkedForDeletion(box)) continue;
            platform::RemoveFile(RuleFilePath(box));
            UnmarkBoxForDeletion(box);
        }
    } else {
        DiscardWorkSettings();
        ClearDeletionMarks();
    }
    for (std::uint32_t box = 1; box <= kEditSlots; ++box) {
        const std::uint32_t saveNo = GetSaveNo(RuleFilePath(box));
        if (saveNo != 0 && saveNo != box) platform::RemoveFile(RuleFilePath(box));
    }
}

}  // namespace wbfax
