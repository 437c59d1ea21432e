/* A program importing advapi32's generator statically, as the app once did: the import check must
   refuse it, since later Windows forwards that export to cryptbase, which is no known DLL. */
#include <windows.h>
#include <ntsecapi.h>

int main(void) {
  unsigned char byte = 0;
  return RtlGenRandom(&byte, 1) ? 0 : 1;
}
