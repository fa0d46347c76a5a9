#include "texts.h"

Text LoadText(TextId id) {
  Text text;
  const int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text.Buffer(),
                                 static_cast<int>(Text::BufferSize()));
  text.SetLengthFromBuffer(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}
