#include "Platform/CryptoLibrary.h"

#include <dlfcn.h>

#include <memory>

#ifndef VANTLE_LIBCRYPTO
#define VANTLE_LIBCRYPTO "libcrypto.so.3"
#endif

const CryptoLibrary *CryptoLibrary::get()
{
    static const std::unique_ptr<const CryptoLibrary> library = []() -> std::unique_ptr<const CryptoLibrary> {
        // Never closed: the keys it made may outlive any one caller.
        void *handle = ::dlopen(VANTLE_LIBCRYPTO, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return nullptr;
        auto functions = std::make_unique<CryptoLibrary>();
        bool complete = true;
#define VANTLE_CRYPTO_RESOLVE(name)                                                                                  \
    functions->name = reinterpret_cast<decltype(functions->name)>(::dlsym(handle, #name));                           \
    complete = complete && functions->name;
        VANTLE_CRYPTO_FUNCTIONS(VANTLE_CRYPTO_RESOLVE)
#undef VANTLE_CRYPTO_RESOLVE
        if (!complete)
            return nullptr;
        return functions;
    }();
    return library.get();
}
