#pragma once

#include <cstddef>
#include <string>

namespace dpt {

// Makes room for `extra` more bytes at the end of `text`, growing its capacity
// geometrically. Large buffers ask for huge pages before they are first touched: on a
// virtual machine the first touch of fresh memory costs far more than copying into it, and
// a collector of a chatty child's output spends most of its time there otherwise.
void grow_for_append(std::string& text, std::size_t extra);

}  // namespace dpt
