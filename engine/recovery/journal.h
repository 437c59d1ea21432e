// The engine's record of machine changes that must not outlive the run that made them (a key
// container, the restore-point setting) or that later runs must find again (the certificates it
// made trusted). A registry key under HKLM\SOFTWARE, which only administrators and the system
// account can write: a user cannot plant a record that makes the elevated tool delete or restore
// something of the user's choosing. Each record is written before the change it stands for and
// removed after the change was undone, so a run killed at any point leaves a record of everything
// it may have left behind.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace velmor {
namespace journal {

// Sections of the record: one subkey each, one value per recorded thing (name: what it is, data:
// a text about it).
extern const wchar_t kKeyContainers[];
extern const wchar_t kCertificates[];
extern const wchar_t kRestoreSetting[];

// Records `name` with `data` in the section, flushed to disk before it returns. False (logged under
// `caller`) when it could not be written.
bool add(const wchar_t* section, const wchar_t* name, const wchar_t* data, const char* caller);
// Removes the record (absent is fine).
void remove(const wchar_t* section, const wchar_t* name);
// Every (name, data) of the section; empty when there is none.
std::vector<std::pair<std::wstring, std::wstring>> list(const wchar_t* section);
// When the record was first made on this machine (UTC); made now when there was none. Certificates
// older than this were made before the record existed and are known only by their marks.
bool began(FILETIME* when);

}  // namespace journal
}  // namespace velmor

// Tests: the record's key under HKEY_LOCAL_MACHINE (null: the product's own).
extern "C" const wchar_t* journal_key_for_tests;
