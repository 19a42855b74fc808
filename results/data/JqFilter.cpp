#include "JqFilter.h"

extern "C" {
#include <jq.h>
#include <jv.h>
}

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// jq's state, torn down however the run ends.
struct TJqStateFree {
    void operator()(jq_state* AState) const { jq_teardown(&AState); }
};
struct TJvParserFree {
    void operator()(jv_parser* AParser) const { jv_parser_free(AParser); }
};

void AppendLine(std::string& AErrors, std::string_view ALine) {
    if (ALine.empty())
        return;
    if (!AErrors.empty())
        AErrors += '\n';
    AErrors += ALine;
}

// jq reports compile errors through this callback; they are gathered, not printed.
void CollectError(void* AData, jv AMessage) {
    auto& errors = *static_cast<std::string*>(AData);
    if (jv_get_kind(AMessage) == JV_KIND_STRING) {
        AppendLine(errors, jv_string_value(AMessage));
    } else {
        jv text = jv_dump_string(jv_copy(AMessage), 0);
        AppendLine(errors, jv_string_value(text));
        jv_free(text);
    }
    jv_free(AMessage);
}

// The message of a failed result, worded as the jq program words it.
std::string FailureText(jv AResult) {
    jv message = jv_invalid_get_msg(AResult);
    std::string text;
    if (jv_get_kind(message) == JV_KIND_STRING) {
        text = std::string("jq: error: ") + jv_string_value(message);
    } else {
        jv dumped = jv_dump_string(jv_copy(message), 0);
        text = std::string("jq: error (not a string): ") + jv_string_value(dumped);
        jv_free(dumped);
    }
    jv_free(message);
    return text;
}

std::unique_ptr<jq_state, TJqStateFree> Compile(std::string_view AProgram, std::string& AErrors) {
    std::unique_ptr<jq_state, TJqStateFree> state(jq_init());
    if (!state) {
        AErrors = "jq: out of memory";
        return nullptr;
    }
    jq_set_error_cb(state.get(), CollectError, &AErrors);
    const std::string program(AProgram);
    if (jq_compile(state.get(), program.c_str()) == 0) {
        if (AErrors.empty())
            AErrors = "jq: error: the program does not compile";
        return nullptr;
    }
    return state;
}

// The program compiled for a run, or nullptr with the outcome saying why.
std::unique_ptr<jq_state, TJqStateFree> CompileFor(std::string_view AProgram,
                                                   TJqOutcome& AOutcome) {
    auto state = Compile(AProgram, AOutcome.Error);
    AOutcome.Compiled = state != nullptr;
    return state;
}

// Results written as the jq program writes its own: jv_dumpf prints a result a piece at a time
// into a C stream, so a large one is never held whole. The stream hands its buffer to the sink,
// each piece ending on a whole character; a character cut at the buffer's end goes with the next.
class TResultStream {
public:
    explicit TResultStream(const std::function<void(std::string_view)>& ASink) : FSink(ASink) {
        static const cookie_io_functions_t functions{nullptr, &TResultStream::Write, nullptr,
                                                     nullptr};
        FFile = fopencookie(this, "w", functions);
        if (FFile == nullptr)
            throw std::runtime_error("jq: cannot open a stream for the results");
        std::setvbuf(FFile, nullptr, _IOFBF, 64 * 1024);
    }
    ~TResultStream() {
        FBroken = true; // nothing more reaches the sink
        std::fclose(FFile);
    }
    TResultStream(const TResultStream&) = delete;
    TResultStream& operator=(const TResultStream&) = delete;

    // Writes one result with its line break and hands it on; consumes AResult. Throws what the
    // sink threw.
    void Put(jv AResult, int AFlags) {
        jv_dumpf(AResult, FFile, AFlags);
        std::fputc('\n', FFile);
        std::fflush(FFile);
        if (FFailure)
            std::rethrow_exception(FFailure);
    }

private:
    static std::size_t SequenceLength(char ALead) {
        const auto lead = static_cast<unsigned char>(ALead);
        return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    }

    // The length of AText up to the end of its last whole character.
    static std::size_t WholeCharacters(std::string_view AText) {
        for (std::size_t back = 1; back <= 4 && back <= AText.size(); ++back) {
            const std::size_t at = AText.size() - back;
            if ((static_cast<unsigned char>(AText[at]) & 0xC0) != 0x80)
                return at + SequenceLength(AText[at]) > AText.size() ? at : AText.size();
        }
        return AText.size();
    }

    // Called by the C stream; an exception must not pass through jq's C code, so it is kept and
    // thrown once jq has returned.
    static ssize_t Write(void* ACookie, const char* AData, std::size_t ASize) {
        auto& self = *static_cast<TResultStream*>(ACookie);
        if (self.FBroken)
            return -1;
        try {
            std::string_view data(AData, ASize);
            if (!self.FCarry.empty()) {
                const std::size_t need = SequenceLength(self.FCarry[0]) - self.FCarry.size();
                self.FCarry.append(data.substr(0, need));
                data.remove_prefix(std::min(need, data.size()));
                if (self.FCarry.size() < SequenceLength(self.FCarry[0]))
                    return static_cast<ssize_t>(ASize);
                self.FSink(self.FCarry);
                self.FCarry.clear();
            }
            const std::size_t whole = WholeCharacters(data);
            if (whole != 0)
                self.FSink(data.substr(0, whole));
            self.FCarry.assign(data.substr(whole));
        } catch (...) {
            self.FFailure = std::current_exception();
            self.FBroken = true;
            return -1;
        }
        return static_cast<ssize_t>(ASize);
    }

    const std::function<void(std::string_view)>& FSink;
    std::FILE* FFile = nullptr;
    std::string FCarry;
    std::exception_ptr FFailure;
    bool FBroken = false;
};

// Runs the program over one input value, its results to AOut. False when nothing more is to run:
// the run was cancelled or the program halted.
bool RunValue(jq_state* AState, jv AValue, int AFlags, TResultStream& AOut,
              const std::atomic<bool>* ACancel, TJqOutcome& AOutcome) {
    jq_start(AState, AValue, 0);
    for (;;) {
        if (ACancel != nullptr && ACancel->load(std::memory_order_relaxed)) {
            AOutcome.Cancelled = true;
            return false;
        }
        jv result = jq_next(AState);
        if (!jv_is_valid(result)) {
            if (jv_invalid_has_msg(jv_copy(result)))
                AppendLine(AOutcome.Error, FailureText(result));
            else
                jv_free(result);
            break;
        }
        AOut.Put(result, AFlags);
    }
    return !jq_halted(AState);
}

// The flags of the jq program's own output, without colours: indented by two, or compact.
int DumpFlags(const TJqOptions& AOptions) {
    return AOptions.Compact ? 0 : JV_PRINT_INDENT_FLAGS(2);
}

} // namespace

std::string CheckJqProgram(std::string_view AProgram) {
    std::string errors;
    Compile(AProgram, errors);
    return errors;
}

// jq's reader, given the input a piece at a time.
struct TJqReader {
    std::unique_ptr<jv_parser, TJvParserFree> Parser{jv_parser_new(0)};
    std::vector<jv> Values; // read, not yet run
    std::string Error;      // the parse error that ended the reading
    bool Ended = false;     // by an error or by the input's end

    TJqReader() = default;
    TJqReader(const TJqReader&) = delete;
    TJqReader& operator=(const TJqReader&) = delete;
    ~TJqReader() {
        for (const jv value : Values)
            jv_free(value);
    }

    // Reads APiece, the input's last one unless APartial, giving ATake each value read; ATake
    // returns false to stop.
    template <class TTake> void Read(std::string_view APiece, bool APartial, TTake ATake) {
        // jq's reader takes no more than an int's length at once.
        constexpr std::size_t most = std::size_t(1) << 30;
        while (!Ended) {
            const std::size_t size = std::min(APiece.size(), most);
            const bool last = !APartial && size == APiece.size();
            // Never a null buffer: jq takes that for no input yet, not for its end.
            jv_parser_set_buf(Parser.get(), APiece.empty() ? "" : APiece.data(),
                              static_cast<int>(size), last ? 0 : 1);
            APiece.remove_prefix(size);
            for (;;) {
                jv value = jv_parser_next(Parser.get());
                if (jv_is_valid(value)) {
                    if (!ATake(value)) {
                        Ended = true;
                        return;
                    }
                    continue;
                }
                if (jv_invalid_has_msg(jv_copy(value))) {
                    jv message = jv_invalid_get_msg(value);
                    Error = std::string("parse error: ") + jv_string_value(message);
                    jv_free(message);
                    Ended = true;
                    return;
                }
                jv_free(value);
                break; // the piece is read
            }
            Ended = last;
            if (APiece.empty())
                return;
        }
    }

    // Reads APiece and keeps every value read, to be run later.
    void Keep(std::string_view APiece, bool APartial) {
        Read(APiece, APartial, [this](jv AValue) {
            Values.push_back(AValue);
            return true;
        });
    }
};

TJqInput::TJqInput() : FReader(std::make_unique<TJqReader>()) {}

TJqInput::~TJqInput() = default;

void TJqInput::Add(std::string_view APiece) {
    FReader->Keep(APiece, true);
}

TJqOutcome TJqInput::Run(std::string_view AProgram, const TJqOptions& AOptions,
                         const std::function<void(std::string_view)>& ASink,
                         const std::atomic<bool>* ACancel) {
    TJqOutcome outcome;
    const auto state = CompileFor(AProgram, outcome);
    if (!state)
        return outcome;
    FReader->Keep({}, false);
    TResultStream output(ASink);
    // Each value is let go of as its run starts: jq takes it over.
    for (jv& value : FReader->Values) {
        const jv input = value;
        value = jv_invalid();
        if (!RunValue(state.get(), input, DumpFlags(AOptions), output, ACancel, outcome))
            return outcome;
    }
    AppendLine(outcome.Error, FReader->Error);
    return outcome;
}

TJqOutcome RunJq(std::string_view AProgram, std::string_view AInput, const TJqOptions& AOptions,
                 const std::function<void(std::string_view)>& ASink,
                 const std::atomic<bool>* ACancel) {
    TJqOutcome outcome;
    const auto state = CompileFor(AProgram, outcome);
    if (!state)
        return outcome;
    TResultStream output(ASink);
    TJqReader reader;
    bool ran = true;
    reader.Read(AInput, false, [&](jv AValue) {
        ran = RunValue(state.get(), AValue, DumpFlags(AOptions), output, ACancel, outcome);
        return ran;
    });
    if (ran)
        AppendLine(outcome.Error, reader.Error);
    return outcome;
}
