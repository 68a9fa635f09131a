#include "lexicon_module/result_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

#include "lexicon_module/engine_call.h"
#include "module/py_ref.h"
#include "solver/ordered_formatting.h"
#include "solver/two_threads.h"

namespace vorpalyx {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// The descriptor behind `file` once it is flushed, or -1 (no exception set)
// when it has none to offer.
bool flushed_descriptor(PyObject* file, int* descriptor) {
  *descriptor = -1;
  PyRef flush = PyRef::steal(PyObject_GetAttrString(file, "flush"));
  if (flush) {
    if (!PyRef::steal(PyObject_CallNoArgs(flush.get()))) return false;
  } else if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
    PyErr_Clear();
  } else {
    return false;
  }
  PyRef fileno = PyRef::steal(PyObject_CallMethod(file, "fileno", nullptr));
  if (!fileno) {
    // io.UnsupportedOperation is both an OSError and a ValueError.
    if (!PyErr_ExceptionMatches(PyExc_AttributeError) &&
        !PyErr_ExceptionMatches(PyExc_OSError)) {
      return false;
    }
    PyErr_Clear();
    return true;
  }
  const long value = PyLong_AsLong(fileno.get());
  if (value == -1 && PyErr_Occurred()) return false;
  if (value < 0 || value > INT32_MAX) {
    PyErr_SetString(PyExc_ValueError, "fileno() returned no descriptor");
    return false;
  }
  *descriptor = static_cast<int>(value);
  return true;
}

// Writes every byte of `data`; 0, or the errno that stopped it. Waits when
// the descriptor is non-blocking and full, asking `poll` meanwhile.
int write_all(int descriptor, std::string_view data, const InterruptPoll& poll,
              bool* interrupted) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written =
        ::write(descriptor, data.data() + done, data.size() - done);
    if (written >= 0) {
      done += static_cast<std::size_t>(written);
      // A signal ends a blocked write early, without EINTR once some of it
      // was written; the write that follows would block again.
      if (done < data.size() && poll.interrupted()) {
        *interrupted = true;
        return 0;
      }
      continue;
    }
    if (errno == EINTR) {
      if (poll.interrupted()) {
        *interrupted = true;
        return 0;
      }
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd wait{.fd = descriptor, .events = POLLOUT, .revents = 0};
      ::poll(&wait, 1, 20);
      if (poll.interrupted()) {
        *interrupted = true;
        return 0;
      }
      continue;
    }
    return errno;
  }
  return 0;
}

// A pipe's buffer holds 64 KiB by default, so a megabyte chunk would take
// sixteen hand-overs to the reader; ask for room for a whole chunk (an
// unprivileged process may grow a pipe up to 1 MiB; failure changes nothing).
void widen_pipe(int descriptor) {
  struct stat status;
  if (::fstat(descriptor, &status) == 0 && S_ISFIFO(status.st_mode) &&
      ::fcntl(descriptor, F_GETPIPE_SZ) < static_cast<int>(kChunkBytes)) {
    ::fcntl(descriptor, F_SETPIPE_SZ, static_cast<int>(kChunkBytes));
  }
}

// Solutions per segment when a long run is formatted on two threads: a few
// megabytes of text, so that a segment is written in a few hand-overs and
// the segments in flight stay small.
constexpr std::size_t kSegmentSolutions = std::size_t{1} << 18;

// Writes the run to `descriptor`: formatted on two threads in segments when
// it is long and a second core is free (the formatting of what follows goes
// on while a segment is written), else chunk by chunk here.
bool write_to_descriptor(const SolutionList& list, SolutionFormat format,
                         std::size_t first, std::ptrdiff_t step,
                         std::size_t count, int descriptor) {
  widen_pipe(descriptor);
  int error_number = 0;
  bool interrupted = false;
  const bool ran = run_without_gil([&](const InterruptPoll& poll) {
    auto next_poll = std::chrono::steady_clock::now() + poll.interval;
    const auto write = [&](std::string_view piece) {
      error_number = write_all(descriptor, piece, poll, &interrupted);
      if (error_number != 0 || interrupted) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= next_poll) {
        next_poll = now + poll.interval;
        if (poll.interrupted()) {
          interrupted = true;
          return false;
        }
      }
      return true;
    };
    if (step == 1 && count > kSegmentSolutions && second_core_available()) {
      format_in_order(list, format, first, count, kSegmentSolutions,
                      /*use_second_thread=*/true, write);
      return;
    }
    SolutionFormatter formatter(list, format, first, step, count);
    std::string chunk;
    while (formatter.next_chunk(chunk, kChunkBytes) && write(chunk)) {
    }
  });
  if (!ran) return false;
  if (interrupted) {
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
    return false;
  }
  if (error_number != 0) {
    errno = error_number;
    PyErr_SetFromErrno(PyExc_OSError);
    return false;
  }
  return true;
}

// The class `name` of io; empty with an exception set when it cannot be had.
PyRef io_class(const char* name) {
  PyRef io = PyRef::steal(PyImport_ImportModule("io"));
  if (!io) return PyRef();
  return PyRef::steal(PyObject_GetAttrString(io.get(), name));
}

// Whether `file` is an instance of the io class `name`: 1, 0 or -1 with an
// exception set.
int is_io_instance(PyObject* file, const char* name) {
  PyRef base = io_class(name);
  if (!base) return -1;
  return PyObject_IsInstance(file, base.get());
}

// The attribute `name` of `file`, or an empty PyRef (no exception set) when
// it has none; false with an exception set when reading it fails otherwise.
bool optional_attribute(PyObject* file, const char* name, PyRef* value) {
  *value = PyRef::steal(PyObject_GetAttrString(file, name));
  if (*value || !PyErr_ExceptionMatches(PyExc_AttributeError)) {
    return static_cast<bool>(*value);
  }
  PyErr_Clear();
  return true;
}

// Whether `file` takes bytes rather than str: a binary file of io, or
// another that is not a text file of io and whose mode has a 'b' and that
// names no encoding (a spooled temporary file, say).
bool takes_bytes(PyObject* file, bool* binary) {
  *binary = false;
  for (const char* name : {"RawIOBase", "BufferedIOBase"}) {
    const int is = is_io_instance(file, name);
    if (is < 0) return false;
    if (is) {
      *binary = true;
      return true;
    }
  }
  const int is_text = is_io_instance(file, "TextIOBase");
  if (is_text != 0) return is_text > 0;
  PyRef mode;
  PyRef encoding;
  if (!optional_attribute(file, "mode", &mode) ||
      !optional_attribute(file, "encoding", &encoding)) {
    return false;
  }
  *binary = mode && PyUnicode_Check(mode.get()) && !encoding &&
            PyUnicode_FindChar(mode.get(), 'b', 0,
                               PyUnicode_GET_LENGTH(mode.get()), 1) >= 0;
  return true;
}

// Hands `chunk` to file.write until all of it is taken. A raw file
// (io.RawIOBase) returns None when it could take nothing without blocking,
// which raises BlockingIOError as a buffered writer over it would; any other
// writer that returns None took everything.
bool write_through_method(PyObject* write, const std::string& chunk,
                          bool binary, bool raw) {
  PyRef text =
      binary
          ? PyRef::steal(PyBytes_FromStringAndSize(
                chunk.data(), static_cast<Py_ssize_t>(chunk.size())))
          : PyRef::steal(PyUnicode_DecodeUTF8(
                chunk.data(), static_cast<Py_ssize_t>(chunk.size()), "strict"));
  if (!text) return false;
  Py_ssize_t length =
      binary ? PyBytes_GET_SIZE(text.get()) : PyUnicode_GET_LENGTH(text.get());
  Py_ssize_t done = 0;
  while (done < length) {
    PyRef rest =
        done == 0 ? PyRef::borrow(text.get())
                  : PyRef::steal(PySequence_GetSlice(text.get(), done, length));
    if (!rest) return false;
    PyRef written = PyRef::steal(PyObject_CallOneArg(write, rest.get()));
    if (!written) return false;
    if (written.get() == Py_None && raw) {
      PyErr_SetString(PyExc_BlockingIOError,
                      "write() could not take the output without blocking");
      return false;
    }
    if (written.get() == Py_None) return true;
    const Py_ssize_t count = PyNumber_AsSsize_t(written.get(), nullptr);
    if (count == -1 && PyErr_Occurred()) return false;
    if (count <= 0) {
      PyErr_SetString(PyExc_OSError, "write() took none of the output");
      return false;
    }
    // A writer that claims more than it was given took all of it.
    done += std::min(count, length - done);
  }
  return true;
}

bool write_to_method(SolutionFormatter& formatter, PyObject* file) {
  PyRef write = PyRef::steal(PyObject_GetAttrString(file, "write"));
  if (!write) return false;
  bool binary = false;
  if (!takes_bytes(file, &binary)) return false;
  const int raw = is_io_instance(file, "RawIOBase");
  if (raw < 0) return false;
  std::string chunk;
  while (formatter.next_chunk(chunk, kChunkBytes)) {
    if (!write_through_method(write.get(), chunk, binary, raw > 0)) {
      return false;
    }
    if (PyErr_CheckSignals() < 0) return false;
  }
  return true;
}

// Whether the descriptor that `file` offers may be written to directly. A
// file of io must be one of its own files over a descriptor, as open() and
// sys.stdout give them: a FileIO, alone or under a buffered writer, alone or
// under a TextIOWrapper, which pass on what they are given as it is (but
// for a text file's encoding); a subclass of theirs must keep their write().
// Other files of io with a fileno() change it on the way (a gzip file, or a
// text file over one) or keep it (a spooled temporary file): they get it
// through their write(). An object that only looks like a file (tempfile's
// wrapper, say) is taken at its word.
bool trusts_descriptor(PyObject* file, bool* trusted) {
  *trusted = false;
  const int is_io = is_io_instance(file, "IOBase");
  if (is_io <= 0) {
    *trusted = is_io == 0;
    return is_io == 0;
  }
  const PyRef text = io_class("TextIOWrapper");
  const PyRef writer = io_class("BufferedWriter");
  const PyRef random = io_class("BufferedRandom");
  const PyRef raw = io_class("FileIO");
  if (!text || !writer || !random || !raw) return false;
  // 1 when `layer` is a `type` that writes with type's own write(), 0 when
  // not, -1 with an exception set.
  const auto is = [](const PyRef& layer, const PyRef& type) {
    if (!PyObject_TypeCheck(layer.get(),
                            reinterpret_cast<PyTypeObject*>(type.get()))) {
      return 0;
    }
    const PyRef own = PyRef::steal(PyObject_GetAttrString(type.get(), "write"));
    const PyRef used = PyRef::steal(PyObject_GetAttrString(
        reinterpret_cast<PyObject*>(Py_TYPE(layer.get())), "write"));
    if (!own || !used) return -1;
    return own.get() == used.get() ? 1 : 0;
  };
  PyRef layer = PyRef::borrow(file);
  int found = is(layer, text);
  if (found < 0) return false;
  if (found) {
    layer = PyRef::steal(PyObject_GetAttrString(layer.get(), "buffer"));
    if (!layer) return false;
  }
  found = is(layer, writer);
  if (found == 0) found = is(layer, random);
  if (found < 0) return false;
  if (found) {
    layer = PyRef::steal(PyObject_GetAttrString(layer.get(), "raw"));
    if (!layer) return false;
  }
  found = is(layer, raw);
  *trusted = found > 0;
  return found >= 0;
}

// Whether `file` is a text file that encodes in something other than UTF-8
// (or says so, when it is not a file of io): its descriptor must not be
// handed the engine's UTF-8 bytes.
bool encodes_otherwise(PyObject* file, bool* otherwise) {
  *otherwise = false;
  const int is_text = is_io_instance(file, "TextIOBase");
  if (is_text < 0) return false;
  PyRef encoding;
  if (!optional_attribute(file, "encoding", &encoding)) return false;
  if (!encoding || !PyUnicode_Check(encoding.get())) {
    *otherwise = is_text && encoding;
    return true;
  }
  PyRef codecs = PyRef::steal(PyImport_ImportModule("codecs"));
  if (!codecs) return false;
  PyRef info = PyRef::steal(
      PyObject_CallMethod(codecs.get(), "lookup", "O", encoding.get()));
  if (!info) return false;
  PyRef name = PyRef::steal(PyObject_GetAttrString(info.get(), "name"));
  if (!name) return false;
  *otherwise = !PyUnicode_Check(name.get()) ||
               PyUnicode_CompareWithASCIIString(name.get(), "utf-8") != 0;
  return true;
}

}  // namespace

bool write_solutions(const SolutionList& list, std::size_t first,
                     std::ptrdiff_t step, std::size_t count, PyObject* file,
                     SolutionFormat format) {
  bool trusted = false;
  if (!trusts_descriptor(file, &trusted)) return false;
  int descriptor = -1;
  if (trusted && !flushed_descriptor(file, &descriptor)) return false;
  bool otherwise = false;
  if (descriptor >= 0 && !encodes_otherwise(file, &otherwise)) return false;
  if (descriptor >= 0 && !otherwise) {
    return write_to_descriptor(list, format, first, step, count, descriptor);
  }
  try {
    SolutionFormatter formatter(list, format, first, step, count);
    return write_to_method(formatter, file);
  } catch (...) {
    set_python_error_from_current_exception();
    return false;
  }
}

}  // namespace vorpalyx
