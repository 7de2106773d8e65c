#pragma once
// The names and texts of the Windows drive operations: the volume device of a drive-letter root,
// the one-line reasons an exclusive open gives, and the advice when Windows refused this process
// a right. Plain functions over fixed buffers, free of the Windows API.

#include <atomic>
#include <cstdint>

#include "platform/System.h"

namespace platform::win32 {

// "\\.\D:" and its terminating zero.
constexpr int kVolumePathSize = 7;
constexpr int kAdviceSize = 512;
// The name under which a program holds an optical drive for itself, terminating zero included.
constexpr int kOwnerNameSize = 65;

// The drive letter of a root such as "D:\" or "D:", upper case; 0 when root names no drive letter.
char DriveLetterOfRoot(const char* root);

// The volume device of a drive letter, "\\.\D:"; false (path empty) when root names no drive letter.
bool VolumePathOfRoot(const char* root, char (&path)[kVolumePathSize]);

// Why an exclusive open was refused, naming the drive by its root (null for a missing root).
void FormatNotOpticalRefusal(const char* root, char (&refusal)[kRefusalSize]);
// owner: the program that holds the drive, as Windows names it; null or empty when not known.
void FormatInUseRefusal(char letter, char (&refusal)[kRefusalSize], const char* owner = nullptr);
// Why the drive could not be taken for this program alone (reason as for FormatOpenRefusal).
void FormatTakeRefusal(char letter, const char* reason, char (&refusal)[kRefusalSize]);
// reason: the system's own text for the failure, without a final full stop or line break.
void FormatOpenRefusal(char letter, const char* reason, char (&refusal)[kRefusalSize]);

// The shared open of a drive met another program that holds it for itself.
void FormatInUseNote(char letter, char (&note)[kAdviceSize]);

enum class RefusedStep : uint8_t {
    Open,     // the drive's volume could not be opened for reading and writing
    Command,  // Windows refused a command on the open volume
};

enum class AdviceHost : uint8_t {
    Windows,
    Wine,  // the rights are those of the Linux node behind the drive letter
};

// Who reads the advice: the window's user, or a console's, who needs one line that says what to
// do from a command prompt.
enum class AdviceReader : uint8_t { Window, Console };

// The advice for a refusal at step on the drive letter (0 when it is not known).
void FormatPermissionAdvice(RefusedStep step, char letter, AdviceHost host, char (&advice)[kAdviceSize],
                            AdviceReader reader = AdviceReader::Window);

// Cuts the line breaks, spaces and full stop that end a system message.
void TrimSystemMessage(char* text);

}  // namespace platform::win32

namespace platform::win32 {

// The first text noted in a run. Each drive being updated has its own worker thread, so two may
// note one at once: the first to claim the record writes it, later ones are left out, and the
// text stays the same once it can be read.
class FirstNote {
public:
    // True when this call wrote the text; text is copied, cut to kAdviceSize.
    bool Note(const char* text);
    const char* Text() const;  // null while nothing was noted

private:
    enum State : uint8_t { kEmpty, kWriting, kReady };
    std::atomic<uint8_t> state{kEmpty};
    char text[kAdviceSize] = {};
};

}  // namespace platform::win32
