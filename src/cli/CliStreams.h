// Output streams that remember what went through them, so that a failure can be told once more
// as JSON on standard output when --json is given.
#pragma once

#include <streambuf>
#include <string>

namespace QlnCli {

// Passes everything on to another buffer and counts the characters.
class CountingStreamBuf : public std::streambuf {
public:
    explicit CountingStreamBuf(std::streambuf* target) : target_(target) {}
    size_t Count() const { return count_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        ++count_;
        return target_->sputc(traits_type::to_char_type(c));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        count_ += size_t(n);
        return target_->sputn(s, n);
    }
    int sync() override { return target_->pubsync(); }

private:
    std::streambuf* target_;
    size_t count_ = 0;
};

// Passes everything on to another buffer and keeps the last whole line written.
class LastLineStreamBuf : public std::streambuf {
public:
    explicit LastLineStreamBuf(std::streambuf* target) : target_(target) {}
    const std::string& LastLine() const { return last_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        Take(traits_type::to_char_type(c));
        return target_->sputc(traits_type::to_char_type(c));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) Take(s[i]);
        return target_->sputn(s, n);
    }
    int sync() override { return target_->pubsync(); }

private:
    void Take(char c) {
        if (c != '\n') {
            // A message is one short line; a runaway one is not kept whole.
            if (line_.size() < 4096) line_ += c;
            return;
        }
        last_ = line_;
        line_.clear();
    }

    std::streambuf* target_;
    std::string line_, last_;
};

// A message line of the program without its name in front.
inline std::string ErrorMessage(const std::string& line) {
    const std::string name = "qlncfg-cli: ";
    return line.compare(0, name.size(), name) == 0 ? line.substr(name.size()) : line;
}

}  // namespace QlnCli
