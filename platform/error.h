// Exceptions raised below the windows. Every one carries a UTF-8 message meant for a person.
#pragma once

#include <stdexcept>
#include <string>

namespace vn {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text could not be converted between code pages without loss.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be opened or created.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// Reading or writing a file or stream failed, or fewer bytes came than were required.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// Stored data is damaged or not of the expected form.
class EFormatError : public Exception {
 public:
  using Exception::Exception;
};

// A data path would leave its base folder or cannot name a file.
class EPathError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vn
