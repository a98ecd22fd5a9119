"""A 32-bit Windows stand-in for one DLL, on the Unicorn CPU emulator.

It loads a PE DLL as the Windows loader does (sections at a base other than
the preferred one, so the base relocations must be applied; imports bound to
functions of this file; DllMain called), then calls the DLL's exports with
the stdcall convention and checks the convention itself: the callee pops its
arguments, keeps EBX, ESI, EDI and EBP, leaves the direction flag clear, the
x87 stack as it found it (one value more for a float result, in ST0) and the
x87 control word unchanged.

The few system functions the DLL may import are played by `Kernel`, whose
answers the test sets: the version word, whether ntdll.dll is loaded (an NT
kernel), the performance counter, and the port driver's two functions. IN and
OUT are trapped and played by the same bus; on an NT kernel they fault.
"""
import struct
from collections import namedtuple
from fractions import Fraction

from unicorn import UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_INSN, UC_MODE_32, Uc, UcError
from unicorn.x86_const import (UC_CPU_X86_486, UC_X86_INS_IN, UC_X86_INS_OUT, UC_X86_REG_EAX, UC_X86_REG_EBP,
                               UC_X86_REG_EBX, UC_X86_REG_EDI, UC_X86_REG_EFLAGS, UC_X86_REG_EIP, UC_X86_REG_ESI,
                               UC_X86_REG_ESP, UC_X86_REG_FP0, UC_X86_REG_FPCW, UC_X86_REG_FPSW, UC_X86_REG_FPTAG)

LOAD_BASE = 0x10000000      # never a MinGW DLL's preferred base: relocations must be applied
STACK_LIMIT, STACK_TOP = 0x00100000, 0x00200000
STUBS = 0x7F000000          # the imported functions, one stub of 16 bytes each
RETURN_TO = 0x7E000000      # the return address of every call: emulation stops there
NTDLL_HANDLE = 0x77F00000
INSTRUCTION_LIMIT = 20_000_000

Section = namedtuple("Section", "name rva virtual_size raw_offset raw_size")


class Image:
    """The parts of a PE32 DLL a loader needs."""

    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        machine, n_sections, _, self.symbol_table, self.n_symbols, optional_size, _ = \
            struct.unpack_from("<HHIIIHH", data, pe + 4)
        assert machine == 0x014C, f"machine 0x{machine:04X} is not i386"
        opt = pe + 24
        assert struct.unpack_from("<H", data, opt)[0] == 0x10B, "not PE32"
        self.entry_rva, = struct.unpack_from("<I", data, opt + 16)
        self.preferred_base, = struct.unpack_from("<I", data, opt + 28)
        self.size_of_image, self.size_of_headers = struct.unpack_from("<II", data, opt + 56)
        self.directories = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(n_sections):
            at = opt + optional_size + 40 * i
            name, vsize, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, at)
            self.sections.append(Section(name.rstrip(b"\0").decode(), rva, vsize, raw_offset, raw_size))

    def file_offset(self, rva):
        for s in self.sections:
            if s.rva <= rva < s.rva + max(s.virtual_size, s.raw_size):
                return s.raw_offset + rva - s.rva
        return rva  # the headers

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.file_offset(rva))[0]

    def cstring(self, rva):
        at = self.file_offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode()

    def exports(self):
        """{name: (ordinal, rva)}"""
        rva, _ = self.directories[0]
        at = self.file_offset(rva)
        _, _, _, _, _, base, n_functions, n_names, functions, names, ordinals = struct.unpack_from("<IIHHIIIIIII", self.data, at)
        result = {}
        for i in range(n_names):
            index = struct.unpack_from("<H", self.data, self.file_offset(ordinals + 2 * i))[0]
            result[self.cstring(self.u32(names + 4 * i))] = (base + index, self.u32(functions + 4 * index))
        return result

    def imports(self):
        """[(dll, function, rva of its IAT slot)]"""
        rva, _ = self.directories[1]
        result = []
        while True:
            lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, self.file_offset(rva))
            if not (lookup or name or iat):
                return result
            dll = self.cstring(name)
            slot = 0
            while True:
                entry = self.u32((lookup or iat) + 4 * slot)
                if entry == 0:
                    break
                assert not entry & 0x80000000, f"{dll}: import by ordinal"
                result.append((dll, self.cstring(entry + 2), iat + 4 * slot))
                slot += 1
            rva += 20

    def relocations(self):
        """RVAs of the 32-bit words to move by the load delta."""
        rva, size = self.directories[5]
        end, result = rva + size, []
        while rva < end:
            page, block = struct.unpack_from("<II", self.data, self.file_offset(rva))
            for i in range((block - 8) // 2):
                (entry,) = struct.unpack_from("<H", self.data, self.file_offset(rva + 8 + 2 * i))
                kind, offset = entry >> 12, entry & 0xFFF
                assert kind in (0, 3), f"relocation type {kind}"
                if kind == 3:
                    result.append(page + offset)
            rva += block
        return result

    def symbols(self):
        """{name: rva} of the COFF symbol table's functions, if the DLL kept one."""
        if not self.symbol_table:
            return {}
        strings = self.symbol_table + 18 * self.n_symbols
        result, i = {}, 0
        while i < self.n_symbols:
            at = self.symbol_table + 18 * i
            raw, value, section, _, storage, aux = struct.unpack_from("<8sIhHBB", self.data, at)
            if raw[:4] == b"\0\0\0\0":
                (offset,) = struct.unpack_from("<I", raw, 4)
                name = self.data[strings + offset:self.data.index(b"\0", strings + offset)].decode()
            else:
                name = raw.rstrip(b"\0").decode(errors="replace")
            if section > 0 and storage == 2:  # external
                result[name] = self.sections[section - 1].rva + value
            i += 1 + aux
        return result


def x87_to_fraction(mantissa, exponent_and_sign):
    sign = -1 if exponent_and_sign & 0x8000 else 1
    exponent = exponent_and_sign & 0x7FFF
    if exponent == 0x7FFF:
        raise ValueError("an infinity or NaN in ST0")
    return sign * Fraction(mantissa) * Fraction(2) ** (exponent - 16383 - 63)


def float32_bits_of(value):
    """The bits of `value` as a single-precision float; it must be one exactly."""
    f = struct.unpack("<f", struct.pack("<f", float(value)))[0]
    assert Fraction(f) == value, f"ST0 holds {float(value)!r}, which is not a single-precision value"
    return struct.unpack("<I", struct.pack("<f", f))[0]


class ConventionError(AssertionError):
    pass


class Machine:
    """The DLL loaded in an emulated 32-bit Windows process."""

    def __init__(self, path, kernel):
        self.image = image = Image(path)
        self.kernel = kernel
        self.uc = uc = Uc(UC_ARCH_X86, UC_MODE_32)
        uc.ctl_set_cpu_model(UC_CPU_X86_486)
        self.base = LOAD_BASE
        size = (image.size_of_image + 0xFFF) & ~0xFFF
        uc.mem_map(self.base, size)
        uc.mem_write(self.base, image.data[:image.size_of_headers])
        for s in image.sections:
            uc.mem_write(self.base + s.rva, image.data[s.raw_offset:s.raw_offset + min(s.raw_size, s.virtual_size or s.raw_size)])
        delta = (self.base - image.preferred_base) & 0xFFFFFFFF
        for rva in image.relocations():
            word = struct.unpack("<I", uc.mem_read(self.base + rva, 4))[0]
            uc.mem_write(self.base + rva, struct.pack("<I", (word + delta) & 0xFFFFFFFF))
        uc.mem_map(STACK_LIMIT, STACK_TOP - STACK_LIMIT)
        uc.mem_map(RETURN_TO, 0x1000)
        uc.mem_write(RETURN_TO, b"\xF4")  # hlt, never reached: emulation stops at the address
        uc.mem_map(STUBS, 0x1000)
        self.imported = []
        for i, (dll, name, slot) in enumerate(image.imports()):
            function = kernel.function(dll, name)
            if function is None:
                raise ImportError(f"the DLL imports {dll}!{name}, which this Windows stand-in does not provide")
            implementation, n_args = function
            stub = STUBS + 16 * i
            uc.mem_write(stub, b"\xC2" + struct.pack("<H", 4 * n_args) if n_args else b"\xC3")
            uc.mem_write(self.base + slot, struct.pack("<I", stub))
            uc.hook_add(UC_HOOK_CODE, self._stub_hook(implementation, n_args), begin=stub, end=stub)
            self.imported.append(f"{dll}!{name}")
        uc.hook_add(UC_HOOK_INSN, lambda uc_, port, size, _: kernel.cpu_in(self, port), None, 1, 0, UC_X86_INS_IN)
        uc.hook_add(UC_HOOK_INSN, lambda uc_, port, size, value, _: kernel.cpu_out(self, port, value), None, 1, 0,
                    UC_X86_INS_OUT)
        self.exports = {name: self.base + rva for name, (_, rva) in image.exports().items()}
        self.host_control_word = 0x027F  # the Windows C runtime's: 53-bit precision, all exceptions masked
        self.fault = None
        self.counting = None

    def _stub_hook(self, implementation, n_args):
        def hook(uc, address, size, _):
            esp = uc.reg_read(UC_X86_REG_ESP)
            args = struct.unpack(f"<{n_args}I", uc.mem_read(esp + 4, 4 * n_args)) if n_args else ()
            result = implementation(self, *args)
            if result is not None:
                uc.reg_write(UC_X86_REG_EAX, result & 0xFFFFFFFF)
        return hook

    def stop_with_fault(self, text):
        self.fault = text
        self.uc.emu_stop()

    # ---- memory, for the kernel's functions ------------------------------------------

    def read_cstring(self, address):
        out = bytearray()
        while len(out) < 260:
            b = self.uc.mem_read(address + len(out), 1)[0]
            if b == 0:
                break
            out.append(b)
        return out.decode(errors="replace")

    def write_u64(self, address, value):
        self.uc.mem_write(address, struct.pack("<Q", value & 0xFFFFFFFFFFFFFFFF))

    # ---- calls ---------------------------------------------------------------------

    def dll_main(self, reason=1):
        return self._call(self.base + self.image.entry_rva, (self.base, reason, 0), "int")

    def call(self, name, *args, returns="int"):
        return self._call(self.exports[name], args, returns)

    def _call(self, address, args, returns):
        uc = self.uc
        esp = STACK_TOP - 0x100
        frame = struct.pack(f"<I{len(args)}I", RETURN_TO, *[a & 0xFFFFFFFF for a in args])
        start = esp - 4 * (len(args) + 1)
        uc.mem_write(start, frame)
        canaries = {UC_X86_REG_EBX: 0xB0B0B0B0, UC_X86_REG_ESI: 0x51515151, UC_X86_REG_EDI: 0xD1D1D1D1,
                    UC_X86_REG_EBP: 0xEBEBEBEB}
        for reg, value in canaries.items():
            uc.reg_write(reg, value)
        uc.reg_write(UC_X86_REG_ESP, start)
        uc.reg_write(UC_X86_REG_EFLAGS, 0x202)  # IF, direction flag clear
        uc.reg_write(UC_X86_REG_FPCW, self.host_control_word)
        uc.reg_write(UC_X86_REG_FPSW, 0)        # TOP = 0
        uc.reg_write(UC_X86_REG_FPTAG, 0xFFFF)  # every register empty
        self.fault = None
        try:
            uc.emu_start(address, RETURN_TO, count=INSTRUCTION_LIMIT)
        except UcError as e:
            raise ConventionError(f"the CPU faulted at 0x{uc.reg_read(UC_X86_REG_EIP):08X}: {e}") from None
        if self.fault:
            raise ConventionError(self.fault)
        eip = uc.reg_read(UC_X86_REG_EIP)
        if eip != RETURN_TO:
            raise ConventionError(f"no return after {INSTRUCTION_LIMIT} instructions (at 0x{eip:08X})")
        if uc.reg_read(UC_X86_REG_ESP) != esp:
            raise ConventionError(f"ESP is 0x{uc.reg_read(UC_X86_REG_ESP):08X} after the return, not 0x{esp:08X}: "
                                  f"stdcall pops the {len(args)} arguments")
        for reg, value in canaries.items():
            if uc.reg_read(reg) != value:
                raise ConventionError(f"a callee-saved register changed: 0x{value:08X} -> 0x{uc.reg_read(reg):08X}")
        if uc.reg_read(UC_X86_REG_EFLAGS) & 0x400:
            raise ConventionError("the direction flag is set on return")
        if uc.reg_read(UC_X86_REG_FPCW) != self.host_control_word:
            raise ConventionError(f"the x87 control word is 0x{uc.reg_read(UC_X86_REG_FPCW):04X}, "
                                  f"the host's was 0x{self.host_control_word:04X}")
        top = (uc.reg_read(UC_X86_REG_FPSW) >> 11) & 7
        tags = uc.reg_read(UC_X86_REG_FPTAG)
        used = [r for r in range(8) if (tags >> (2 * r)) & 3 != 3]
        if returns == "float":
            if top != 7 or used != [7]:
                raise ConventionError(f"a float result leaves one value on the x87 stack; TOP={top}, in use {used}")
            mantissa, exponent = uc.reg_read(UC_X86_REG_FP0 + 7)
            return float32_bits_of(x87_to_fraction(mantissa, exponent))
        if top != 0 or used:
            raise ConventionError(f"the x87 stack is not empty on return; TOP={top}, in use {used}")
        return uc.reg_read(UC_X86_REG_EAX)

    # ---- counting the DLL's own instructions ------------------------------------------

    def count_instructions(self, fn):
        """Runs fn(); returns {address: times executed} over the DLL's image."""
        counts = {}

        def hook(uc, address, size, _):
            counts[address] = counts.get(address, 0) + 1

        handle = self.uc.hook_add(UC_HOOK_CODE, hook, begin=self.base, end=self.base + self.image.size_of_image - 1)
        try:
            fn()
        finally:
            self.uc.hook_del(handle)
        return counts

    def instruction_bytes(self, address):
        return bytes(self.uc.mem_read(address, 16))


def is_division(code):
    """Whether the x86 instruction at the start of `code` divides: DIV/IDIV
    (F6/F7 /6 /7) or an x87 division (D8, DA, DC, DE with /6 or /7)."""
    i = 0
    while code[i] in (0x66, 0x67, 0xF2, 0xF3, 0x2E, 0x36, 0x3E, 0x26, 0x64, 0x65, 0xF0):
        i += 1
    opcode, reg = code[i], (code[i + 1] >> 3) & 7 if i + 1 < len(code) else -1
    return opcode in (0xF6, 0xF7, 0xD8, 0xDA, 0xDC, 0xDE) and reg in (6, 7)
