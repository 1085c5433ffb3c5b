// The embedded driver-access component images: each a byte array with its exact length in bytes.
#pragma once

extern "C" {

extern const unsigned char kOvnVxdDriver32[];
extern const unsigned int kOvnVxdDriver32Size;
extern const unsigned char kOvnVxdDriver64[];
extern const unsigned int kOvnVxdDriver64Size;
extern const unsigned char kOvnVxdLibrary32[];
extern const unsigned int kOvnVxdLibrary32Size;
extern const unsigned char kOvnVxdLibrary64[];
extern const unsigned int kOvnVxdLibrary64Size;
extern const unsigned char kOvnVxdUninstaller[];
extern const unsigned int kOvnVxdUninstallerSize;

}  // extern "C"
