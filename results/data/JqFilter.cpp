#include "JqFilter.h"

extern "C" {
#include <jq.h>
#include <jv.h>
}

#include <climits>
#include <memory>

namespace {

// jq's state, torn down however the run ends.
struct TJqStateFree {
    void operator()(jq_state* AState) const { jq_teardown(&AState); }
};
struct TJvParserFree {
    void operator()(jv_parser* AParser) const { jv_parser_free(AParser); }
};

void AppendLine(std::string& AErrors, std::string_view ALine) {
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

} // namespace

std::string CheckJqProgram(std::string_view AProgram) {
    std::string errors;
    Compile(AProgram, errors);
    return errors;
}

TJqOutcome RunJq(std::string_view AProgram, std::string_view AInput, const TJqOptions& AOptions,
                 const std::function<void(std::string_view)>& ASink,
                 const std::atomic<bool>* ACancel) {
    TJqOutcome outcome;
    const auto state = Compile(AProgram, outcome.Error);
    if (!state) {
        outcome.Compiled = false;
        return outcome;
    }
    if (AInput.size() > static_cast<std::size_t>(INT_MAX)) {
        outcome.Error = "jq: error: the answer is too large for jq";
        return outcome;
    }
    // The flags of the jq program's own output, without colours: indented by two, or compact.
    const int dumpFlags = AOptions.Compact ? 0 : JV_PRINT_INDENT_FLAGS(2);
    const auto cancelled = [ACancel] {
        return ACancel && ACancel->load(std::memory_order_relaxed);
    };
    std::unique_ptr<jv_parser, TJvParserFree> parser(jv_parser_new(0));
    jv_parser_set_buf(parser.get(), AInput.data(), static_cast<int>(AInput.size()), 0);
    std::string line;
    for (;;) {
        jv value = jv_parser_next(parser.get());
        if (!jv_is_valid(value)) {
            if (jv_invalid_has_msg(jv_copy(value))) {
                jv message = jv_invalid_get_msg(value);
                AppendLine(outcome.Error, std::string("parse error: ") + jv_string_value(message));
                jv_free(message);
            } else {
                jv_free(value);
            }
            break;
        }
        jq_start(state.get(), value, 0);
        for (;;) {
            if (cancelled()) {
                outcome.Cancelled = true;
                return outcome;
            }
            jv result = jq_next(state.get());
            if (!jv_is_valid(result)) {
                if (jv_invalid_has_msg(jv_copy(result)))
                    AppendLine(outcome.Error, FailureText(result));
                else
                    jv_free(result);
                break;
            }
            jv dumped = jv_dump_string(result, dumpFlags);
            line.assign(jv_string_value(dumped),
                        static_cast<std::size_t>(jv_string_length_bytes(jv_copy(dumped))));
            jv_free(dumped);
            line += '\n';
            ASink(line);
        }
        if (jq_halted(state.get()))
            break;
    }
    return outcome;
}
