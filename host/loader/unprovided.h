// Members of the host's tables that this stand-in host does not provide. Each such slot holds a
// function of the member's own signature that stops the run with a message naming the table
// and the member, so that a module calling one fails loudly here instead of misbehaving in
// Layout, where the member does something this host cannot show.
#pragma once

#include <cstddef>
#include <utility>

#include "sdk/lwtypes.h"

namespace tarrow::host {

// A string literal usable as a template argument.
template <std::size_t N>
struct MemberName {
  char text[N];
  constexpr MemberName(const char (&name)[N]) {  // NOLINT: implicit by design
    for (std::size_t i = 0; i < N; ++i) text[i] = name[i];
  }
};

// Prints "the module called TABLE.MEMBER, which this stand-in host does not provide" on the
// error stream and ends the process with exit status 70.
[[noreturn]] void stopUnprovided(const char* table, const char* member) noexcept;
// The same for a slot past the members named in our declarations, by its index in the table.
[[noreturn]] void stopUnprovidedSlot(const char* table, std::size_t index) noexcept;

inline constexpr int kUnprovidedExitStatus = 70;

template <MemberName Table, MemberName Member, typename Slot>
struct Unprovided;

template <MemberName Table, MemberName Member, typename Result, typename... Args>
struct Unprovided<Table, Member, Result (*)(Args...)> {
  static Result call(Args...) noexcept { stopUnprovided(Table.text, Member.text); }
};

template <MemberName Table, std::size_t Index>
void unprovidedSlot() noexcept {
  stopUnprovidedSlot(Table.text, Index);
}

// Fills slots[0..N) with stoppers that report table member firstIndex + i.
template <MemberName Table, std::size_t FirstIndex, typename Slot, std::size_t N>
void fillUnprovidedSlots(Slot (&slots)[N]) noexcept {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((slots[I] = &unprovidedSlot<Table, FirstIndex + I>), ...);
  }
  (std::make_index_sequence<N>{});
}

// The table with stoppers in every slot of its laterMembers, each numbered by its index in the
// table (every slot before them is pointer-sized, so the index is the offset over 8).
template <MemberName Table, typename T>
T withUnprovidedLaterMembers(T table) noexcept {
  constexpr std::size_t kFirst = offsetof(T, laterMembers) / sizeof(LWLaterMember);
  fillUnprovidedSlots<Table, kFirst>(table.laterMembers);
  return table;
}

// A table as long as a newer generation of the host lays it out: Rows (the members declared for
// 2015.3, with stoppers in its laterMembers), then Appended more slots, each a stopper.
template <MemberName Table, typename Rows, std::size_t Appended>
struct LongerTable {
  Rows rows;
  LWLaterMember appended[Appended];

  explicit LongerTable(const Rows& provided) noexcept
      : rows(withUnprovidedLaterMembers<Table>(provided)), appended{} {
    fillUnprovidedSlots<Table, sizeof(Rows) / sizeof(LWLaterMember)>(appended);
  }
};

}  // namespace tarrow::host

// The stopper for one named member: TARROW_UNPROVIDED(LWItemInfo, target).
#define TARROW_UNPROVIDED(Table, member) \
  (&::tarrow::host::Unprovided<#Table, #member, decltype(Table::member)>::call)
