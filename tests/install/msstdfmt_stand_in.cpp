// A stand-in for the data formatting library, msstdfmt.dll: registering it
// (regsvr32 calls DllRegisterServer) writes down the process that did it
// (msstdfmt.record beside the library).
#include "registration_record.h"

namespace {
HMODULE g_self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = self;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  kvn::test::WriteRegistrationRecord(g_self, "msstdfmt.record");
  return S_OK;
}
