// Catalog (.cat) creation for a driver package folder.
//   CreateCat              writes the catalog of a folder's listed files
//   CreateCatOfFiles       writes the catalog of files the engine holds open
//   set_catalog_base_path  sets the folder that ScanDirAndHash walks
//   ScanDirAndHash         adds every listed file below the folder, recursively
//   CalcHash               the catalog hash of one file
//   AddFileHash            adds one member with its attributes
// All return non-zero for success; text arguments are UTF-8.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Full path of the folder being catalogued (260 bytes), kept until the next CreateCat.
extern char catalog_base_path[MAX_PATH];

int CreateCat(const char* cat_path, const char* hw_id, const char* search_path, const char** file_list,
              DWORD file_list_count);

// One member of a catalog made from files the engine holds open.
struct catalog_file {
  const char* name;  // the member's file name (any case)
  const char* path;  // its full path, for the log
  HANDLE handle;     // open for reading; hashed from its start
};
// The catalog of exactly these files, hashed through their handles: nothing is looked up by name.
int CreateCatOfFiles(const char* cat_path, const char* hw_id, const struct catalog_file* files, DWORD count);
int set_catalog_base_path(const char* path);
// relative_path is "" at the top, else "\sub\folder"; names must be lower case.
void ScanDirAndHash(HANDLE catalog, const char* relative_path, char** file_list, DWORD file_list_count);
int CalcHash(BYTE hash[20], const char* file_path);
int AddFileHash(HANDLE catalog, const char* file_name, const BYTE hash[20]);

#ifdef __cplusplus
}
#endif
