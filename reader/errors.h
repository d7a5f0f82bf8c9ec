// The errors the reader link raises: an argument outside what an operation
// takes, and a reader library that cannot be bound. Both end the operation
// that raised them; the windows' error boundary reports them.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace rfid {

// Mixed into an error that tells the operator in the windows' language
// (Korean, UTF-8) what went wrong, while its what() keeps the technical
// detail for the log.
class ForOperator {
 public:
  explicit ForOperator(std::string text) : m_OperatorText(std::move(text)) {}
  virtual ~ForOperator() = default;
  const std::string& OperatorText() const { return m_OperatorText; }

 private:
  std::string m_OperatorText;
};

// PadText asked to shorten a text, a length that is negative or too large.
class InvalidArgument : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The reader library or one of its calls could not be bound: the operator
// learns which library, the log the path tried and the system's reason.
class ReaderLibraryError : public std::runtime_error, public ForOperator {
 public:
  explicit ReaderLibraryError(const std::string& detail,
                              std::string operatorText = "리더기 라이브러리를 쓸 수 없습니다.")
      : std::runtime_error(detail), ForOperator(std::move(operatorText)) {}
};

}  // namespace rfid
