// Texture programs: four expression trees (red, green, blue, alpha) written
// one after the other in prefix order, and the interpreter that runs them.
//
// A node is either a reference (byte >= 0x80: a copy of store slot b & 0x7F)
// or an operation: opcode b & 0x3F, store flag b & 0x40, then the operation's
// parameter bytes (opcode 20 takes one more when its first is 4 or 10), then
// its input nodes, then the optional inputs its parameters call for. A stored
// node takes the next slot number when it is entered and fills the slot when
// it finishes; later nodes of the same texture, in any channel, may refer to
// filled slots.
//
// Programs are checked as they run: a byte past the end, an opcode without an
// operation, a reference to a slot not filled yet, more than 128 stored nodes
// or nesting deeper than kMaxNodeDepth stops the run with a fault.
#pragma once

#include "texgen/plane.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace texgen {

// The arguments of one operation call: parameters in program order (for
// opcode 20 the extra byte is the second, else 0), then the input planes,
// mandatory first, then the optional ones present; unused positions are 0 or null.
struct OpArgs {
    std::array<unsigned, 5> params{};
    std::array<const Plane*, 4> inputs{};
};

using OpFunction = void (*)(Plane& out, const OpArgs& args);

struct OpEntry {
    OpFunction run; // null where the opcode names no operation
    std::uint8_t paramCount;
    std::uint8_t inputCount; // mandatory inputs; optional ones depend on the parameters
};

inline constexpr std::size_t kOpcodeCount = 34;
extern const std::array<OpEntry, kOpcodeCount> opTable;

// How many optional input nodes follow the mandatory ones of this opcode
// with these parameters.
int optionalInputCount(unsigned opcode, const OpArgs& args);

inline constexpr int kSlotCount = 128;
// Deepest nesting of nodes a program may use. Each level holds up to four
// planes, so this bounds the memory a hostile program can take (16 MiB).
inline constexpr int kMaxNodeDepth = 64;

enum class ProgramFault {
    none,
    truncated,          // the program ends inside a node
    unknownOpcode,      // opcode 19 or 34..63
    unfilledSlot,       // a reference to a slot whose node has not finished
    tooManyStoredNodes, // a 129th stored node
    tooDeep,            // nesting beyond kMaxNodeDepth
};

const char* faultText(ProgramFault fault);

// The state of running one texture program: store slots and the positions
// registered for them. Slots never outlive the run. It keeps a view of the
// program, whose bytes must outlive it.
class TextureProgramRun {
  public:
    explicit TextureProgramRun(std::span<const std::uint8_t> program);

    // Evaluates the node at position into out and returns the position just
    // after it. After a fault (see fault()) it does nothing and out is as it was
    // or partly written, but never read or written outside itself.
    std::size_t evalNode(std::size_t position, Plane& out);

    // The next free slot number for the node at position, or none when that
    // position already has one. A 129th stored node is a fault.
    std::optional<int> registerStoredNode(std::size_t position);

    ProgramFault fault() const { return fault_; }
    std::size_t faultPosition() const { return faultPosition_; }
    // The plane stored in slot n, or null when that slot is not filled.
    const Plane* slot(int n) const;

  private:
    void setFault(ProgramFault fault, std::size_t position);

    std::span<const std::uint8_t> program_;
    std::array<std::unique_ptr<Plane>, kSlotCount> slots_;
    std::vector<std::size_t> registered_;
    int depth_ = 0;
    ProgramFault fault_ = ProgramFault::none;
    std::size_t faultPosition_ = 0;
};

// Runs the program and writes its channels into 256 rows of 256 four-byte
// pixels, pitch bytes apart: red, green, blue and alpha into bytes 2, 1, 0 and
// 3 of each pixel, so that a little-endian 32-bit pixel reads as A8R8G8B8.
// Bytes beyond the 1,024 of each row are not touched. Returns false, with
// every channel byte of the 256 x 256 pixels set to 0, when the program is
// faulty; returns false writing nothing when pixels is null or pitch < 1024.
// Reseeds platform::crt::srand as its operations do; runs must not overlap.
bool runTextureProgram(std::span<const std::uint8_t> program, void* pixels, std::size_t pitch);

} // namespace texgen
