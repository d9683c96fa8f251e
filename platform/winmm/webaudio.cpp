// The live sound device over Web Audio (the browser backend): an AudioContext
// at the format's rate and a ScriptProcessorNode whose audio callback asks
// wave-out for the next 16-bit block and hands it over as floats. Everything
// runs on the page's one thread: the callback runs only between the module's
// turns (when a fiber sleeps, fibers.cpp), never inside a call of the layer,
// so lock and unlock have nothing to do. Browsers start audio only after the
// person has interacted with the page; the setup dialog's click comes before
// waveOutOpen, and the page resumes the context at every click or key
// (Module.riza3vResumeAudio) in case it was made earlier.

#include "platform/winmm/audiodevice.h"

#include <emscripten.h>

#include <vector>

namespace {

// Frames per callback: the smallest ScriptProcessorNode size that Chromium
// plays without gaps while the module renders a frame.
constexpr int kFramesPerCallback = 4096;

struct Slot {
    platform::winmm::audio::FillCallback fill = nullptr;
    void* user = nullptr;
    std::vector<std::uint8_t> block;
    bool open = false;
};

std::vector<Slot>& slots() {
    static std::vector<Slot> list;
    return list;
}

} // namespace

// Called by the page's audio callback: fills the slot's block, returns it.
extern "C" EMSCRIPTEN_KEEPALIVE std::uint8_t* riza3vFillAudio(int slot) {
    Slot& s = slots().at(static_cast<std::size_t>(slot));
    if (s.open) {
        s.fill(s.user, s.block.data(), static_cast<int>(s.block.size()));
    }
    return s.block.data();
}

// Returns 0 when the context is made (it may still wait for a gesture),
// else -1: no Web Audio here (Node.js, or a browser without it).
EM_JS(int, riza3vOpenAudio, (int slot, int rate, int channels, int frames), {
    var Context = typeof AudioContext != 'undefined'
                      ? AudioContext
                      : (typeof webkitAudioContext != 'undefined' ? webkitAudioContext : null);
    if (!Context) {
        return -1;
    }
    var context;
    try {
        context = new Context({sampleRate : rate});
    } catch (e) {
        return -1;
    }
    var node = context.createScriptProcessor(frames, 0, channels);
    node.onaudioprocess = function(event) {
        var out = event.outputBuffer;
        var at = Module['_riza3vFillAudio'](slot) >> 1;
        for (var c = 0; c < channels; ++c) {
            var data = out.getChannelData(c);
            for (var i = 0; i < frames; ++i) {
                data[i] = HEAP16[at + i * channels + c] / 32768;
            }
        }
    };
    node.connect(context.destination);
    Module['riza3vAudio'] = Module['riza3vAudio'] || {};
    Module['riza3vAudio'][slot] = {context : context, node : node};
    Module['riza3vResumeAudio'] = function() {
        for (var k in Module['riza3vAudio']) {
            Module['riza3vAudio'][k].context.resume();
        }
    };
    context.resume();
    return 0;
});

EM_JS(void, riza3vCloseAudio, (int slot), {
    var audio = Module['riza3vAudio'] && Module['riza3vAudio'][slot];
    if (audio) {
        audio.node.onaudioprocess = null;
        audio.node.disconnect();
        audio.context.close();
        delete Module['riza3vAudio'][slot];
    }
});

namespace platform::winmm::audio {

bool open(const WAVEFORMATEX& format, FillCallback fill, void* user, Opened& out) {
    std::vector<Slot>& list = slots();
    const int slot = static_cast<int>(list.size());
    list.push_back(Slot{fill, user, std::vector<std::uint8_t>(kFramesPerCallback * format.nBlockAlign), true});
    if (riza3vOpenAudio(slot, static_cast<int>(format.nSamplesPerSec), format.nChannels, kFramesPerCallback) != 0) {
        list.back().open = false;
        out.why = "no Web Audio in this environment";
        return false;
    }
    out.id = static_cast<std::uint32_t>(slot);
    // The node plays one block while the next is asked for.
    out.bufferBytes = list.back().block.size();
    out.heldBytes = out.bufferBytes;
    return true;
}

void lock(std::uint32_t) {}

void unlock(std::uint32_t) {}

void close(std::uint32_t id) {
    riza3vCloseAudio(static_cast<int>(id));
    slots().at(id).open = false;
}

} // namespace platform::winmm::audio
