// The Crypto++ class templates that the verifier's arithmetic needs, instantiated here.
//
// Crypto++'s headers declare these instantiations extern and define them, together with those of
// every key and curve type the library knows, in one object (dll.o) of the static library. Linking
// that object for three small templates would pull all elliptic-curve and key-format code into the
// updater; instantiating them here lets the linker leave it out. Used in the static win32 build
// only; the host links the shared library, which holds them anyway.
#define CRYPTOPP_MANUALLY_INSTANTIATE_TEMPLATES
#include <cryptopp/algparam.h>
#include <cryptopp/modarith.h>
