"""The Windows the DLL sees, played for the tests: the version word, the kernel
family, the performance counter and the port bus with the converter card."""
from collections import deque

from pe32 import NTDLL_HANDLE

FAMILIES = {
    # name: (GetVersion word, NT kernel (ntdll.dll loaded), the DLL may run IN/OUT)
    "95/98/Me": (0xC0000A04, False, True),
    "NT": (0x23F00206, True, False),
    "NT saying 98": (0xC0000A04, True, False),  # a "Windows 98 / Me" compatibility mode
}


class Card:
    """The converter card on the bus: per conversion, the code it gives (or
    None: it never finishes), after `busy_reads` status reads showing busy."""

    def __init__(self):
        self.code = {0: 0x800, 1: 0x800}  # when no plan is left
        self.plan = {0: deque(), 1: deque()}
        self.busy_reads = 0
        self.present = True
        self.converting = {0: None, 1: None}  # status reads left (-1: for ever), or None
        self.latched = {0: 0, 1: 0}
        self.pending = {0: 0, 1: 0}

    def write(self, port, value):
        if not self.present or value != 0xFF or port not in (0x280, 0x282):
            return
        channel = (port - 0x280) // 2
        code = self.plan[channel].popleft() if self.plan[channel] else self.code[channel]
        self.converting[channel] = -1 if code is None else self.busy_reads
        self.pending[channel] = code

    def read(self, port):
        if not self.present:
            return 0xFF
        if port == 0x284:
            status = 0
            for channel in (0, 1):
                left = self.converting[channel]
                if left is None:
                    continue
                if left == 0:
                    self.converting[channel] = None
                    self.latched[channel] = self.pending[channel]
                    continue
                status |= 1 << channel
                if left > 0:
                    self.converting[channel] = left - 1
            return status
        if 0x280 <= port <= 0x283:
            code = self.latched[(port - 0x280) // 2]
            return code >> 4 if port % 2 == 0 else (code & 0xF) << 4
        return 0xFF


class Kernel:
    """KERNEL32 and DlPortIO.dll as the DLL imports them, and the CPU's IN/OUT."""

    def __init__(self, family, frequency=3579545, counter_start=0x123456789, step=1):
        self.version, self.nt_kernel, self.direct = FAMILIES[family]
        self.card = Card()
        self.frequency = frequency
        self.counter = counter_start
        self.step = step               # counts per QueryPerformanceCounter call
        self.jumps = deque()           # extra counts added at the next calls, one per call
        self.version_asked = 0
        self.counter_read = 0
        self.log = []                  # (path, "in"/"out", port, value)

    def function(self, dll, name):
        """(implementation, number of stdcall arguments), or None."""
        table = {
            ("KERNEL32.dll", "GetVersion"): (Kernel.get_version, 0),
            ("KERNEL32.dll", "GetTickCount"): (Kernel.get_tick_count, 0),
            ("KERNEL32.dll", "QueryPerformanceFrequency"): (Kernel.query_frequency, 1),
            ("KERNEL32.dll", "QueryPerformanceCounter"): (Kernel.query_counter, 1),
            ("KERNEL32.dll", "GetModuleHandleA"): (Kernel.get_module_handle, 1),
            ("DlPortIO.dll", "DlPortReadPortUchar"): (Kernel.driver_read, 1),
            ("DlPortIO.dll", "DlPortWritePortUchar"): (Kernel.driver_write, 2),
        }
        entry = table.get((dll, name))
        return None if entry is None else (lambda machine, *args: entry[0](self, machine, *args), entry[1])

    def get_version(self, machine):
        self.version_asked += 1
        return self.version

    def get_tick_count(self, machine):
        return (self.counter * 1000 // self.frequency) & 0xFFFFFFFF

    def query_frequency(self, machine, pointer):
        machine.write_u64(pointer, self.frequency)
        return 1

    def query_counter(self, machine, pointer):
        self.counter += self.jumps.popleft() if self.jumps else 0
        machine.write_u64(pointer, self.counter)
        self.counter += self.step
        self.counter_read += 1
        return 1

    def get_module_handle(self, machine, name_pointer):
        name = machine.read_cstring(name_pointer).lower()
        return NTDLL_HANDLE if name == "ntdll.dll" and self.nt_kernel else 0

    def driver_read(self, machine, port):
        value = self.card.read(port)
        self.log.append(("driver", "in", port, value))
        return value

    def driver_write(self, machine, port, value):
        self.log.append(("driver", "out", port, value & 0xFF))
        self.card.write(port, value & 0xFF)
        return None

    def cpu_in(self, machine, port):
        if not self.direct:
            machine.stop_with_fault(f"IN AL,DX at port 0x{port:X} on an NT kernel: a privileged-instruction fault")
            return 0
        value = self.card.read(port)
        self.log.append(("cpu", "in", port, value))
        return value

    def cpu_out(self, machine, port, value):
        if not self.direct:
            machine.stop_with_fault(f"OUT DX,AL at port 0x{port:X} on an NT kernel: a privileged-instruction fault")
            return
        self.log.append(("cpu", "out", port, value & 0xFF))
        self.card.write(port, value & 0xFF)
