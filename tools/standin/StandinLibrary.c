/* The library a stand-in installer puts in the system folder (OpenAL32.dll, PhysXLoader.dll):
 * loadable, with a version resource and, for PhysX, the export the presence test asks for. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

#ifdef STANDIN_PHYSX
__declspec(dllexport) void* NxCreatePhysicsSDK(unsigned version, void* allocator, void* output, const void* desc,
                                                void* error) {
  (void)version;
  (void)allocator;
  (void)output;
  (void)desc;
  (void)error;
  return NULL;
}
#else
__declspec(dllexport) const char* alGetString(int param) {
  (void)param;
  return NULL;
}
#endif
