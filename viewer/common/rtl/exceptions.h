// The run-time errors the viewer's units raise besides their own: conversion failures, list
// misuse and failed assertions. Every error carries its message; there are no error codes.
#pragma once

#include <stdexcept>
#include <string>

namespace nimbrel {

// A text that is not a number of the required kind, or a value that has no text form.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A list or dictionary used outside its bounds, or a key added twice.
class EListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A broken invariant of the program itself (never caused by input). Stays active in every build
// type, so a release build reports the unit file and line instead of going on with bad state.
class EAssertionFailed : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

[[noreturn]] void RaiseAssertion(const char* condition, const char* file, int line);

}  // namespace nimbrel

#define NIMBREL_ASSERT(condition)                                      \
    do {                                                               \
        if (!(condition)) {                                            \
            ::nimbrel::RaiseAssertion(#condition, __FILE__, __LINE__); \
        }                                                              \
    } while (false)
