# The same 100,000 x 10 cells as listing_bench.cpp, written by openpyxl in write-only mode (or
# xlsxwriter when installed), for a side-by-side figure. Usage: listing_bench.py OUTPUT [SONGS]
import datetime, resource, sys, time

out = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
genres = ["Rock", "Jazz", "Classical", "Pop", "Electronic", "Folk"]
header = ["Title", "Artist", "Time", "Album", "Genre", "Year", "Track", "Play count", "Rating", "Added Date"]

def duration(ms):
    s = ms // 1000
    return "%d:%02d:%02d" % (s // 3600, s // 60 % 60, s % 60) if s >= 3600 else "%02d:%02d" % (s // 60 % 60, s % 60)

def rows():
    for i in range(count):
        a, b = i % 2000, i % 10000
        added = datetime.datetime.fromtimestamp(1400000000 + i * 600)
        yield ["Song number %d%s" % (i, ", with \"quotes\"" if i % 13 == 0 else ""),
               "Artist %d%s" % (a, " & Ørkestra" if a % 7 == 0 else ""),
               duration(120000 + (i * 7919) % 400000),
               "Album %d%s" % (b, " – 日本語" if b % 11 == 0 else ""),
               genres[i % 6], 1960 + i % 60, 1 + i % 20, i % 50, (i % 6) * 20 or None, added]

start = time.monotonic()
try:
    import xlsxwriter
    wb = xlsxwriter.Workbook(out, {"constant_memory": True})
    ws = wb.add_worksheet("Songs")
    date = wb.add_format({"num_format": 14})
    ws.write_row(0, 0, header)
    for r, row in enumerate(rows(), 1):
        for c, v in enumerate(row):
            if v is None: continue
            if c == 9: ws.write_datetime(r, c, v, date)
            else: ws.write(r, c, v)
    wb.close()
    writer = "xlsxwriter (constant memory)"
except ImportError:
    import openpyxl
    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet("Songs")
    ws.append(header)
    for row in rows():
        ws.append(row)
    wb.save(out)
    writer = "openpyxl %s (write-only)" % openpyxl.__version__
elapsed = time.monotonic() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
print("xlsx  %7d rows x 10 columns  %6.2f s  peak %6.1f MB  [%s]" % (count, elapsed, peak, writer))
