#pragma once

// Stores value in field when they differ; true when it did, so that only a
// change is reported on.
template <typename T>
bool StoreIfChanged(T& field, const T& value) {
  if (field == value) {
    return false;
  }
  field = value;
  return true;
}
