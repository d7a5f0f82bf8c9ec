// The errors the reader link raises: an argument outside what an operation
// takes, and a reader library that cannot be bound. Both end the operation
// that raised them; the windows' error boundary reports them.
#pragma once

#include <stdexcept>

namespace rfid {

// PadText asked to shorten a text, a length that is negative or too large.
class InvalidArgument : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The reader library or one of its calls could not be bound.
class ReaderLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rfid
