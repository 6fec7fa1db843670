#pragma once

// Why an identity request is sent. The throttle counts both classes against the
// same window; the class only tells the repeat after a 401 apart in the record.
enum class IdentityRequestClass {
    steady,       // every ordinary request
    authRecovery, // the one repeat of a request after a 401 and a session refresh
};
