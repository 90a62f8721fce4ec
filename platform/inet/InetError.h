#pragma once
// A failed fetch, carrying the text the user will see.
#include <exception>
#include <string>

namespace inet {

class InetError : public std::exception {
 public:
  explicit InetError(std::string description) : m_description(std::move(description)) {}
  const char* what() const noexcept override { return "page fetch failed"; }
  const std::string& Description() const { return m_description; }

 private:
  std::string m_description;
};

}  // namespace inet
