// A stand-in for the kernel driver's registration tool, wdreg.exe: it only
// writes down how it was started (wdreg.record beside itself). A program
// without a console or window, as the real tool's start must not wait on.
#include "registration_record.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kvn::test::WriteRegistrationRecord(nullptr, "wdreg.record");
  return 0;
}
