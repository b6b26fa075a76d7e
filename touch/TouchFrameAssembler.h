#pragma once
#include "touch/TouchTypes.h"

#include <cstddef>
#include <cstdint>

// Turns decoded reports into contact frames, the state of every contact at
// one moment, which is what the gesture engine and the compatibility tools
// need. Usually each touch report is a frame. Two kinds of display differ:
//
// - A display with more contacts than slots spreads a frame over several
//   reports (hybrid frames); their contacts are put together and the frame
//   is ready with the report that completes it. One that never completes
//   (a report lost) is handed on incomplete by flush().
// - A display with one contact collection and no Contact Count sends one
//   report per contact; the frame is every contact whose last report had it
//   down, tracked by Contact Identifier.
//
// Reports of other IDs (pen, vendor) are no frame. Allocates nothing.
class TouchFrameAssembler {
public:
    // Takes a new layout and forgets any frame in progress.
    void setLayout(const TouchLayout& layout);

    // One decoded report and its bytes. True when a frame is ready: frame().
    bool add(const TouchContactList& report, const std::uint8_t* bytes, std::size_t length);
    // A hybrid frame is waiting for more reports.
    bool pending() const { return m_pending; }
    // Ends the waiting frame as it is; true when there was one (then frame()
    // holds it, with `complete` false).
    bool flush();
    void reset();

    const TouchContactList& frame() const { return m_frame; }

private:
    bool addHybrid(const TouchContactList& report);
    bool addTracked(const TouchContactList& report, const std::uint8_t* bytes, std::size_t length);
    void append(const TouchContact& contact);

    bool m_tracksContacts = false;
    // Where the tracked display's Contact Identifier lies.
    std::int32_t m_idOffset = -1;
    std::int32_t m_idLength = 0;
    bool m_pending = false;
    TouchContactList m_frame{};
};
