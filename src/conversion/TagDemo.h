#pragma once

#include <string>
#include <string_view>

#include "conversion/TagDictionary.h"
#include "platform/Status.h"

namespace kelvara {

// The one ID3v2 tag of a freshly encoded MP3 file, made with id3lib in memory and written by us,
// so every write is checked and the file being tagged is the only file there is.
class TagDemo {
  public:
    // TIT2, TALB, TPE1, TCON, TRCK, TYER, TBPM when bpm > 0 and APIC when artwork is given,
    // UTF-16 text, no padding, no unsynchronisation. Fails when the tag cannot be made (the
    // artwork file unreadable included).
    static Result<std::string> render(const TagDictionary& tags);
    // Replaces every ID3v2 tag at the start of the open MP3 file `fd` (LAME's) with `tag`,
    // moving the audio in place. Fails with the system's reason when a read or write fails, the
    // file then being unusable.
    static Status replaceTags(int fd, std::string_view tag);

  private:
    // render() but for what id3lib throws.
    static Result<std::string> renderFrames(const TagDictionary& tags);
};

}  // namespace kelvara
