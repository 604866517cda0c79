#pragma once

namespace korven {

// Where the address box's text is kept from one run to the next. Declared
// where the address is edited and implemented by the layer that owns the
// stored files, so that the address entry never reaches up to it.
class AddressStore {
 public:
  virtual ~AddressStore() = default;
  // Keeps the address box's text as it is now.
  virtual void saveAddress() = 0;
};

}  // namespace korven
