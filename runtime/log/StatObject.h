#pragma once

#include <memory>
#include <string>

// The nodes of a statistics tree, as the HTML statistics generator reads them.
namespace Stat {

struct Value {
  bool valid = false;
  std::string text;
  explicit operator bool() const { return valid; }
};

class Object;

// Walks a list of child objects; owned by whoever asked for it.
class IteratorBase {
 public:
  virtual ~IteratorBase() = default;
  // Whether it stands on an element.
  virtual bool IsValid() const = 0;
  // Moves to the next element; whether it then stands on one.
  virtual bool Next() = 0;
  // The element it stands on; only while IsValid.
  virtual Object& Get() const = 0;
};

class Object {
 public:
  virtual ~Object() = default;
  // Invalid when the node has no such value.
  virtual Value statistics_value(const std::string& name) const = 0;
  // Null when the node has no such child.
  virtual Object* statistics_object(const std::string& name) const = 0;
  // Empty when the node has no such list.
  virtual std::unique_ptr<IteratorBase> statistics_iterator(const std::string& name) const = 0;
};

}  // namespace Stat
