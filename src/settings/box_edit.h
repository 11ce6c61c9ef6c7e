// The host's box editing: commands 4 (a box enters or leaves editing), 5 (a box is deleted)
// and 6 (editing ends with a commit or a discard). Rules of a box under edit live in the work
// file of an edit slot; only a commit turns work files into rule files.
#pragma once

#include "base/host_context.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

constexpr int kEditSlots = 100;

// Edit slots and deletion marks in wbcatch.ini.
int FindEditSlot(std::uint32_t box);
int FindFreeEditSlot();
std::uint32_t ReadEditSlot(int slot);
void AssignEditSlot(int slot, std::uint32_t box);
void ReleaseEditSlot(int slot);
void MarkBoxForDeletion(std::uint32_t box);
bool IsBoxMarkedForDeletion(std::uint32_t box);
void UnmarkBoxForDeletion(std::uint32_t box);
void ClearDeletionMarks();

// Bookkeeping keys of a work or rule file.
void SetSaveNo(const std::string &file, std::uint32_t box);
std::uint32_t GetSaveNo(const std::string &file);
void SetOriginal(const std::string &file, std::uint32_t box);
std::uint32_t GetOriginal(const std::string &file);
void RemoveOriginal(const std::string &file);

// Line by line, text mode; the target is created open to everyone and emptied first.
// False when the target could not be written whole.
bool CopyTextFile(const std::string &source, const std::string &target);

// Whether the host's handler name names this module: compared without regard to case over
// the name's own length with the beginning of the module's file name.
bool NamesThisModule(std::string_view handlerName);

void OpenBoxEdit(const HostContext &context);
void DeleteBox(const HostContext &context);
void FinishBoxEdits(const HostContext &context);

}  // namespace wbfax
