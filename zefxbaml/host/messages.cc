#include "host/messages.h"

#include "host/kernel.h"
#include "zefxbaml/status.h"

namespace host {

int32_t fail_with_message(int32_t number, int32_t status) {
    char text[zef::kMessageBufferSize];
    int32_t length = ypmstr(text, zef::kMessageBufferSize, zef::kMessageSet, number);
    if (length < 0) length = 0;
    if (length > zef::kMessageBufferSize - 1) length = zef::kMessageBufferSize - 1;
    text[length] = '\0';
    wrmksub1(text, length + 1);
    return status;
}

}  // namespace host
