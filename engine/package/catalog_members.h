// The member list of a package catalog, read from a substituted catalog-list template.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum { CATALOG_MAX_LISTED_MEMBERS = 16 };

// Splits text in place at every CR and LF, trims white space, drops empty lines and lines that
// begin with "#", and stores pointers to the remaining lines in members (at most
// CATALOG_MAX_LISTED_MEMBERS, warning about the rest). Returns the number stored.
int read_catalog_members(char* text, const char* members[CATALOG_MAX_LISTED_MEMBERS]);

#ifdef __cplusplus
}
#endif
