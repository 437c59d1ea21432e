/* A stand-in kernel driver: refuses to load (STATUS_NOT_SUPPORTED); only its version block matters. */
typedef long NTSTATUS;

NTSTATUS __stdcall standin_entry(void* driver_object, void* registry_path);

NTSTATUS __stdcall standin_entry(void* driver_object, void* registry_path) {
  (void)driver_object;
  (void)registry_path;
  return (NTSTATUS)0xC00000BBL;
}
