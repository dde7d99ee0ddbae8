#pragma once
// A move-only owner of one COM reference: released exactly once, on every path.
#include <unknwn.h>

#include "toolkit/handles.h"

namespace tk {

// Through the object's own Release, which a class with several interfaces may not reach as one
// IUnknown.
template <typename T>
void ReleaseReference(T* object) {
  object->Release();
}

template <typename T>
class ComPtr : public UniqueAny<T*, &ReleaseReference<T>> {
 public:
  using UniqueAny<T*, &ReleaseReference<T>>::UniqueAny;

  T* operator->() const { return this->get(); }
  void** put_void() { return reinterpret_cast<void**>(this->put()); }

  // Another interface of the same object, or an empty pointer when it has none.
  template <typename U>
  ComPtr<U> As() const {
    ComPtr<U> other;
    if (this->get()) this->get()->QueryInterface(__uuidof(U), other.put_void());
    return other;
  }
};

}  // namespace tk
