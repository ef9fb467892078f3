// What the controls written once (control.cpp) need of each layer beyond the phone's state: a
// program's path turned between the UTF-8 of the controls and the form the layer's store keeps.
// Each layer defines these in its timed_start_store.cpp. Within the layers only.
#ifndef VELMORA_PHONE_CONTROL_LAYER_H
#define VELMORA_PHONE_CONTROL_LAYER_H

#include "platform/phone/control.h"
#include "platform/phone/timed_start.h"

#include <string>

namespace control_layer {

// A stored path as UTF-8, and back.
std::string pathText(const timed_start_state::StoredPath& path);
timed_start_state::StoredPath storedPathOf(const std::string& path);

} // namespace control_layer

#endif
