#!/usr/bin/python3
"""Keeps the examples of README.md and of --help true to the program.

Usage: python3 docs/examples.py PROGRAM [--write]

Every ```text block of README.md whose first line is "$ mech-heat ..." shows
what that command prints; the command runs (through bash, with PROGRAM for
mech-heat) and its output is compared with the block, or with --write put in
its place. Every example of --help runs too, and must succeed; one that asks
for --max-overheat must name a design that is enough.
Exit status 1 when anything is stale or fails, with what.
"""
import re
import subprocess
import sys
from pathlib import Path

README = Path(__file__).resolve().parent.parent / 'README.md'
program = str(Path(sys.argv[1]).resolve())
write = '--write' in sys.argv[2:]


def run(command):
    done = subprocess.run(['bash', '-o', 'pipefail', '-c', re.sub(r'^mech-heat\b', program, command)],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)
    return done.returncode, done.stdout


problems = []
text = README.read_text()
block = re.compile(r'^```text\n\$ (mech-heat[^\n]*)\n(.*?)^```\n', re.M | re.S)


def current(match):
    status, output = run(match.group(1))
    if status != 0:
        problems.append(f'README: {match.group(1)} ended with status {status}')
    elif output != match.group(2):
        problems.append(f'README: the output of {match.group(1)} is stale')
    return f'```text\n$ {match.group(1)}\n{output}```\n'


fresh = block.sub(current, text)
if write:
    README.write_text(fresh)
    problems = [problem for problem in problems if 'stale' not in problem]

help_text = run('mech-heat --help')[1]
examples = re.findall(r'^  (mech-heat (?:[^\n]*\\\n)*[^\n]*)$', help_text.split('Examples:')[1], re.M)
for example in examples:
    command = re.sub(r'\\\n\s*', '', example)
    status, output = run(command)
    if status != 0:
        problems.append(f'--help: {command} ended with status {status}')
    elif '--max-overheat' in command and 'no design keeps' in output:
        problems.append(f'--help: {command} finds no design that is enough')

print('\n'.join(problems) or f'{len(block.findall(text))} README examples and {len(examples)} '
      'examples of --help agree with the program')
sys.exit(1 if problems else 0)
