#!/usr/bin/python3
"""The web page in a real browser (headless Chromium, from file://) against the native program.

Usage: /usr/bin/python3 web/test_page.py PAGE NATIVE [SCREENSHOT]
  PAGE        the built page, e.g. build/web/web/mech-heat.html
  NATIVE      the program, e.g. build/program/app/mech-heat
  SCREENSHOT  where to save a screenshot (default: beside PAGE, mech-heat-page.png)

The last line printed is "N passed, N failed"; the exit status is 1 when any failed.
"""
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from urllib.parse import parse_qsl, urlencode

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.support.ui import Select, WebDriverWait

PAGE = Path(sys.argv[1]).resolve()
NATIVE = str(Path(sys.argv[2]).resolve())
SCREENSHOT = Path(sys.argv[3]) if len(sys.argv) > 3 else PAGE.with_name('mech-heat-page.png')

results = {'passed': 0, 'failed': 0}


def check(name, ok, detail=''):
    results['passed' if ok else 'failed'] += 1
    print(f"{'PASS' if ok else 'FAIL'} {name}{'' if ok or not detail else ': ' + str(detail)[:400]}")


def native(*args, engine=None, cwd=None):
    """The program's standard output and error for these arguments, with the
    batch engine `engine` when given (MECH_HEAT_ENGINE), in folder `cwd`."""
    environment = dict(os.environ, MECH_HEAT_ENGINE=engine) if engine else None
    done = subprocess.run([NATIVE, *args], stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          check=False, env=environment, cwd=cwd)
    return done.stdout, done.stderr


# The controls, in the page's order, named as the long options.
CONTROLS = ('heatsinks', 'heatsink-type', 'coolant', 'environment', 'turns', 'runs', 'margin', 'seed',
            'max-overheat', 'versus')
SELECTS = ('heatsink-type', 'versus')


# The rules' fields, (name, the game's value) in the page's order, as the page has them once loaded.
RULES = []


def in_order(given):
    """The controls given, then the rules, as the page links them."""
    return ([(name, given[name]) for name in CONTROLS if given.get(name)]
            + [(name, given[name]) for name, _ in RULES if name in given])


def option_words(name, value):
    return ['--rule', f'{name}={value}'] if name in dict(RULES) else [f'--{name}', value]


def words(given):
    return [word for name, value in in_order(given) for word in option_words(name, value)]


def error_id(name):
    return f'rule-{name}-error' if name in dict(RULES) else f'{name}-error'


options = webdriver.ChromeOptions()
options.binary_location = '/usr/lib/chromium/chromium'
for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             f'--user-data-dir={tempfile.mkdtemp(prefix="mech-heat-chromium-")}',
             '--window-size=1280,1000'):
    options.add_argument(flag)
DOWNLOADS = Path(tempfile.mkdtemp(prefix='mech-heat-downloads-'))
options.add_experimental_option('prefs', {'download.default_directory': str(DOWNLOADS),
                                          'download.prompt_for_download': False})
driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def js(script, *args):
    return driver.execute_script(script, *args)


def text_of(element_id):
    return js('return document.getElementById(arguments[0]).textContent', element_id)


def state():
    return js("return document.getElementById('json').dataset.state ?? ''")


def wait_until_settled(timeout=300, settled=lambda state: state != 'running'):
    WebDriverWait(driver, timeout, poll_frequency=0.05).until(lambda _: settled(state()))
    return state()


def narrations():
    return js('return window.mechHeat.narrations')


def wait_for_narration(before, timeout=120):
    """The narration after `before` narrations."""
    WebDriverWait(driver, timeout, poll_frequency=0.05).until(lambda _: narrations() > before)
    return js('return window.mechHeat.narration')


def versus_entries():
    return js("return [...document.getElementById('versus').options].map((option) => option.text)")


def versus_chosen():
    return js("return document.getElementById('versus').selectedOptions[0]?.text ?? ''")


def listed(entries, timeout=10):
    """Whether the versus control comes to list `entries` ("none" first) within `timeout` seconds."""
    try:
        WebDriverWait(driver, timeout, poll_frequency=0.05).until(lambda _: versus_entries() == entries)
        return True
    except TimeoutException:
        return False


def set_controls(given):
    """Every control from `given` (long option name or rule name to value), typed; the other
    controls emptied, the other rules' fields at the game's values; versus chosen once the sweep
    lists its value."""
    for name in (name for name in CONTROLS if name not in SELECTS):
        field = driver.find_element(By.ID, name)
        field.clear()
        if given.get(name):
            field.send_keys(given[name])
    Select(driver.find_element(By.ID, 'heatsink-type')).select_by_value(
        given.get('heatsink-type', ''))
    for name, game in RULES:
        field = driver.find_element(By.ID, f'rule-{name}')
        if field.get_attribute('value') != given.get(name, game):
            js("document.getElementById('rules-part').open = true")
            field.clear()
            field.send_keys(given.get(name, game))
    versus = given.get('versus', '')
    WebDriverWait(driver, 10, poll_frequency=0.05).until(
        lambda _: versus in js('return window.mechHeat.axes ?? []') + [''],
        f'the versus control never listed {versus}')
    Select(driver.find_element(By.ID, 'versus')).select_by_value(versus)


def open_link(fragment):
    """The page opened afresh at #fragment, once it has settled."""
    driver.get('about:blank')
    driver.get(PAGE.as_uri() + '#' + fragment)
    # The link is opened once the rules' fields are there: done or refused.
    return wait_until_settled(settled=lambda state: state in ('done', 'error'))


def result_hidden():
    return driver.find_element(By.ID, 'result').get_attribute('hidden') is not None


def run_with_controls(given):
    set_controls(given)
    driver.find_element(By.ID, 'run').click()
    return wait_until_settled()


def compare_batch(name, given):
    """The page's JSON, SVG and text summary against the program's, and the hottest run narrated;
    without a seed, with the one the page chose."""
    before = narrations()
    settled = run_with_controls(given)
    given = {'seed': driver.find_element(By.ID, 'seed').get_attribute('value'), **given}
    args = words(given)
    check(f'{name}: done', settled == 'done', text_of('json'))
    answer = js('return window.mechHeat.batch') or {}
    check(f'{name}: JSON as --json --jobs 1', text_of('json') == native(*args, '--json', '--jobs', '1')[0])
    check(f'{name}: SVG as --svg -', answer.get('svg') == native(*args, '--svg', '-')[0])
    check(f'{name}: text summary', text_of('summary') == native(*args)[0])
    check(f'{name}: command line shown, with the seed',
          text_of('command') == ' '.join(['mech-heat', *args]) and '--seed' in args, text_of('command'))
    link = driver.find_element(By.ID, 'link').get_attribute('href')
    check(f'{name}: linked', link.endswith('#' + urlencode(in_order(given))), link)
    narration = wait_for_narration(before)
    replay = narration['command'].split()[1:]
    check(f'{name}: hottest run narrated as {narration["command"]}',
          narration['text'] == native(*replay)[0] and '--run' in replay)
    check(f'{name}: its run chart', narration['svg'] == native(*replay, '--svg', '-')[0])


BATCH = {'runs': '20000', 'seed': '5', 'heatsinks': '12', 'heatsink-type': 'double', 'coolant': '80',
         'environment': 'water', 'turns': '30'}
SWEEP = {'heatsinks': '8..14/2', 'environment': 'water,space', 'runs': '3000', 'seed': '7',
         'max-overheat': '10%', 'turns': '15'}
VERSUS = {'heatsinks': '8..24/8', 'heatsink-type': 'single,double', 'versus': 'heatsink-type=single',
          'runs': '20000', 'seed': '3'}
VERSUS_ENTRIES = ['none', 'heatsinks = 8', 'heatsinks = 16', 'heatsinks = 24', 'heatsink-type = single',
                  'heatsink-type = double']

try:
    began = time.perf_counter()
    driver.get(PAGE.as_uri())
    WebDriverWait(driver, 30, poll_frequency=0.02).until(
        lambda _: js('return window.mechHeat.times.ready'))
    load = js("""const n = performance.getEntriesByType('navigation')[0];
                 return {ready: window.mechHeat.times.ready, load: n.loadEventEnd};""")
    print(f"load: worker ready {load['ready']:.0f} ms after navigation start, load event "
          f"{load['load']:.0f} ms, driver.get {1000 * (time.perf_counter() - began):.0f} ms")
    check('the page loads, offline, with its module in a worker', load['ready'] > 0)
    WebDriverWait(driver, 30, poll_frequency=0.02).until(lambda _: js('return window.mechHeat.rules'))
    RULES.extend((rule['name'], rule['value']) for rule in js('return window.mechHeat.rules'))
    # A field for every rule --print-rules writes, each holding the game's value as --rule takes it.
    printed = native('--print-rules')[0]
    check('a field for every rule, the game\'s value in each',
          len(RULES) == len([line for line in printed.splitlines() if ' = ' in line])
          and native(*[word for name, game in RULES for word in option_words(name, game)],
                     '--print-rules')[0] == printed, RULES)

    # Same numbers as the program.
    compare_batch('batch', BATCH)
    compare_batch('sweep', SWEEP)
    compare_batch('margin', {'margin': '1%', 'heatsinks': '11', 'seed': '3'})
    compare_batch('a fresh seed', {'runs': '2000', 'heatsinks': '9'})
    compare_batch('changed rules', {'runs': '3000', 'seed': '4', 'environment': 'water',
                                    'heat.values': '0,30,60', 'heat.weights': '1,2,1',
                                    'overheat-above': '50', 'environments.water': '1.5'})
    compare_batch('a sweep of a rule', {'runs': '2000', 'seed': '6', 'heat.max': '50..70/10',
                                        'cooling.single': '1.5'})
    compare_batch('a sweep versus its single heatsinks', VERSUS)

    # The versus control lists each value of each swept axis, rules' first, as the sweep fields
    # and the rules' fields change; a chosen value the sweep loses falls back to none.
    for given, entries in ((VERSUS, VERSUS_ENTRIES),
                           ({'heat.max': '50,70', 'environment': 'water,space'},
                            ['none', 'heat.max = 50', 'heat.max = 70', 'environment = water',
                             'environment = space']),
                           ({'heatsinks': '10'}, ['none'])):
        set_controls({key: value for key, value in given.items() if key != 'versus'})
        check(f'versus lists {entries[1:]}', listed(entries), versus_entries())
    set_controls(VERSUS)
    Select(driver.find_element(By.ID, 'heatsink-type')).select_by_value('double')
    check('versus falls back to none when its value leaves the sweep',
          listed(VERSUS_ENTRIES[:4]) and versus_chosen() == 'none', versus_chosen())

    # Any run of any design of the sweep.
    before = narrations()
    run_with_controls(SWEEP)
    wait_for_narration(before)
    for design, run in ((3, '17'), (6, '0')):
        before = narrations()
        Select(driver.find_element(By.ID, 'design')).select_by_value(str(design))
        wait_for_narration(before)
        field = driver.find_element(By.ID, 'run-index')
        field.clear()
        field.send_keys(run)
        before = narrations()
        driver.find_element(By.ID, 'narrate-run').click()
        narration = wait_for_narration(before)
        replay = narration['command'].split()[1:]
        check(f'design {design}, run {run} narrated as {narration["command"]}',
              narration['text'] == native(*replay)[0] and replay[3] == run)
    field = driver.find_element(By.ID, 'run-index')
    field.clear()
    field.send_keys('12x')
    driver.find_element(By.ID, 'narrate-run').click()
    expected = native('--seed', '1', '--run', '12x')[1].splitlines()[0].removeprefix('mech-heat: ')
    WebDriverWait(driver, 10).until(lambda _: text_of('run-index-error'))
    check('a bad run index gets the message of --run', text_of('run-index-error') == expected,
          text_of('run-index-error'))

    # A link fills the controls and replays the result.
    check('a link runs', open_link(urlencode(in_order(BATCH))) == 'done')
    check('a link fills the controls',
          all(driver.find_element(By.ID, name).get_attribute('value') == value
              for name, value in BATCH.items()))
    check('a link gives the same JSON',
          text_of('json') == native(*words(BATCH), '--json', '--jobs', '1')[0])
    link = driver.find_element(By.ID, 'link').get_attribute('href')
    check('the page links to its result', link.endswith('#' + urlencode(in_order(BATCH))), link)
    check('a link with versus chooses it again and lists the sweep',
          open_link(urlencode(in_order(VERSUS))) == 'done' and listed(VERSUS_ENTRIES)
          and versus_chosen() == 'heatsink-type = single'
          and text_of('json') == native(*words(VERSUS), '--json', '--jobs', '1')[0])
    # One the sweep lacks stays chosen, the program's message beside it.
    message = native('--heatsinks', '8,16', '--versus', 'heatsinks=9')[1].splitlines()[0]
    check(f'a link with a versus value the sweep lacks: "{message}" beside it, nothing run',
          open_link('heatsinks=8,16&versus=heatsinks%3D9&runs=100&seed=1') == 'error'
          and listed(['none', 'heatsinks = 8', 'heatsinks = 16', 'heatsinks = 9'])
          and versus_chosen() == 'heatsinks = 9'
          and 'mech-heat: ' + text_of('versus-error') == message and result_hidden(), text_of('versus-error'))
    # Of a key given twice, as of an option, the last counts.
    # Rules by their names, the others the game's (those of the batch before are not kept).
    for fragment in ('runs=100&seed=5&runs=2000',
                     'heatsink-type=double&runs=500&seed=3&heatsink-type=single',
                     'runs=500&seed=3&heat.max=80&overheat-above=50&heat.max=69'):
        settled = open_link(fragment)
        args = [word for name, value in parse_qsl(fragment) for word in option_words(name, value)]
        link = driver.find_element(By.ID, 'link').get_attribute('href')
        check(f'#{fragment} plays mech-heat {" ".join(args)}',
              settled == 'done' and text_of('json') == native(*args, '--json', '--jobs', '1')[0]
              and link.endswith('#' + urlencode(in_order(dict(parse_qsl(fragment))))), link)

    # The same bytes on any number of workers with either engine: blocks played out of order are
    # added in order.
    check('the SIMD engine plays where the browser has it',
          js('return window.mechHeat.engine') == 'simd' and 'SIMD' in text_of('engine'), text_of('engine'))
    for name, given in (('a batch', BATCH),
                        ('a sweep', {'heatsinks': '8..14/2', 'environment': 'water,space', 'runs': '30000',
                                     'seed': '7', 'turns': '15'}),
                        ('a margin run', {'margin': '1%', 'heatsinks': '11', 'seed': '3'}),
                        ('changed rules', {'runs': '40000', 'seed': '4', 'heat.values': '0,30,60',
                                           'heat.weights': '1,2,1', 'overheat-above': '50'})):
        expected = native(*words(given), '--json', '--jobs', '1')[0]
        for engine, workers in (('scalar', 1), ('scalar', 3), ('simd', 1), ('simd', 2), ('simd', 3)):
            settled = open_link(urlencode({**given, 'engine': engine, 'workers': workers}))
            played = (js('return window.mechHeat.engine'), js('return window.mechHeat.workers'))
            check(f'{name}, the {engine} engine on {workers} workers: JSON as --json --jobs 1',
                  settled == 'done' and played == (engine, workers) and text_of('json') == expected,
                  f'{settled} {played}')

    # Stop: a long batch, stopped while it plays, and the page still works.
    run_long = {'runs': '10000000000', 'seed': '1'}
    set_controls(run_long)
    driver.find_element(By.ID, 'run').click()
    WebDriverWait(driver, 30, poll_frequency=0.05).until(
        lambda _: float(driver.find_element(By.ID, 'progress').get_attribute('value')) > 0)
    asked = time.perf_counter()
    check('the page answers while a batch plays', js('return 6 * 7') == 42
          and time.perf_counter() - asked < 0.5)
    before = narrations()
    field = driver.find_element(By.ID, 'run-index')
    field.clear()
    field.send_keys('7')
    driver.find_element(By.ID, 'narrate-run').click()
    narration = wait_for_narration(before)
    replay = narration['command'].split()[1:]
    check(f'a run of the batch shown narrated while the next plays, as {narration["command"]}',
          narration['text'] == native(*replay)[0] and replay[3] == '7' and state() == 'running')
    driver.find_element(By.ID, 'stop').click()
    check('Stop ends the batch', wait_until_settled(5) == 'error' and 'stopped' in text_of('json'))
    answers = js('return window.mechHeat.answers')
    time.sleep(1.5)
    check('Stop ends every worker: none answers after it', js('return window.mechHeat.answers') == answers,
          js('return window.mechHeat.answers') - answers)
    check('a run after Stop', run_with_controls({'runs': '1000', 'seed': '2'}) == 'done')

    # Bad input: the program's message beside its control, and nothing runs.
    for name, value in (('heatsinks', 'abc'), ('heatsinks', '5..2'), ('environment', 'lava'),
                        ('turns', '0'), ('margin', '0.7'), ('seed', '-1'), ('max-overheat', '200%'),
                        ('heat.max', 'abc'), ('heat.min', '70'), ('environments.space', '0'),
                        ('heat.weights', '1,2')):
        given = {'runs': '1000', 'seed': '1', name: value}
        run_with_controls(given)
        message = native(*words(given))[1].splitlines()[0].removeprefix('mech-heat: ')
        shown = text_of(error_id(name))
        check(f'{" ".join(option_words(name, value))}: "{message}" beside its control, nothing run',
              shown == message and state() == 'error' and js('return window.mechHeat.progressed') == 0
              and result_hidden()
              and driver.find_element(By.ID, 'progress').get_attribute('value') == '0', shown)

    # Rules files: Load rules fills the fields with a file's rules (the others with the game's); a
    # file the program refuses gets its message and changes nothing. Save rules downloads the rules
    # of the fields as --print-rules writes them, which --rules reads back.
    folder = Path(tempfile.mkdtemp(prefix='mech-heat-rules-'))
    (folder / 'hot.toml').write_text('[heat]\nmax = 69\n\n[environments]\nwater = 1.5\n')
    (folder / 'bad.toml').write_text('[heat]\nmax = 69\nmin = "none"\n')
    set_controls({'overheat-above': '50'})
    loaded = {'heat.max': '69', 'environments.water': '1.5'}
    for file, message in (('hot.toml', ''), ('bad.toml', native('--rules', 'bad.toml', cwd=folder)[1])):
        read = js('return window.mechHeat.rulesRead')
        driver.find_element(By.ID, 'rules-file').send_keys(str(folder / file))
        WebDriverWait(driver, 10).until(
            lambda _: js('return window.mechHeat.rulesRead') > read or text_of('rules-error'))
        fields = {name: driver.find_element(By.ID, f'rule-{name}').get_attribute('value')
                  for name, _ in RULES}
        message = message.splitlines()[0].removeprefix('mech-heat: ') if message else ''
        check(f'Load rules of {file}: its rules in the fields, "{message}" beside Load rules',
              fields == {**dict(RULES), **loaded} and text_of('rules-error') == message,
              f'{text_of("rules-error")} {fields}')
    driver.find_element(By.ID, 'save-rules').click()
    saved = DOWNLOADS / 'rules.toml'
    WebDriverWait(driver, 10).until(lambda _: saved.exists() and not list(DOWNLOADS.glob('*.crdownload')))
    check('Save rules downloads the rules of the fields, which --rules reads back',
          saved.read_text() == native(*words(loaded), '--print-rules')[0]
          == native('--rules', str(saved), '--print-rules')[0], saved.read_text())

    # A link with a key the page does not take, and a batch the page has no memory for (two designs
    # of a million turns: 830 MB of JSON, more than the browser's longest string): the message in
    # its place, no result, and the next Run plays.
    for fragment, where, expected, played in (
            ('seed=1&run=5', 'link-error', "unknown key 'run' in the link", False),
            ('runs=100&bogus=1', 'link-error', "unknown key 'bogus' in the link", False),
            ('runs=100&heat.maxx=5', 'link-error', "unknown key 'heat.maxx' in the link", False),
            ('heatsinks=10,11&turns=1000000&runs=1&seed=1', 'form-error', 'out of memory: ', True)):
        settled = open_link(fragment)
        shown = text_of(where)
        check(f'#{fragment}: "{shown}", no result',
              settled == 'error' and shown.startswith(expected) and result_hidden()
              and (played or js('return window.mechHeat.progressed') == 0), shown)
        after = {'runs': '1000', 'seed': '2'}
        check(f'a run after #{fragment}', run_with_controls(after) == 'done'
              and text_of('json') == native(*words(after), '--json', '--jobs', '1')[0])

    # Speed: a batch of 10^7 runs of 10 turns, each way of playing it twice in a page opened afresh
    # (the second time warm), the faster one counted; beside the program's, on one thread and all.
    speed = {'runs': '10000000', 'seed': '9'}
    cores = js('return navigator.hardwareConcurrency')
    seconds = {}
    for engine, workers in (('scalar', 1), ('simd', 1), ('simd', cores)):
        timed = []
        for _ in range(2):
            open_link(urlencode({**speed, 'engine': engine, 'workers': workers}))
            timed.append(js('return window.mechHeat.times.lastRunMs') / 1000)
        seconds[engine, workers] = min(timed)
    for jobs in (1, cores):
        began = time.perf_counter()
        native(*words(speed), '--json', '--jobs', str(jobs))
        seconds['program', jobs] = time.perf_counter() - began
    base = seconds['scalar', 1]
    print('speed, 10^7 runs of 10 turns: ' + ', '.join(
        f'{engine} on {workers} {"thread" if engine == "program" else "worker"}{"s" if workers > 1 else ""} '
        f'{taken:.2f} s ({base / taken:.1f}x)' for (engine, workers), taken in seconds.items()))

    # Readable from 360 to 1600 pixels wide, the rules open: nothing wider than the window.
    run_with_controls(SWEEP)
    js("document.getElementById('rules-part').open = true")
    for width in (360, 1600):
        driver.set_window_size(width, 1000)
        scroll = js('return document.documentElement.scrollWidth')
        inner = js('return window.innerWidth')
        check(f'{width} px wide: no sideways scrolling', scroll <= inner, f'{scroll} > {inner}')
    driver.set_window_size(1280, 1000)
    js("document.getElementById('rules-part').open = false")
    before = narrations()
    run_with_controls(VERSUS)  # the screenshot shows a sweep against its baseline
    wait_for_narration(before)
    height = js('return document.documentElement.scrollHeight')
    driver.set_window_size(1280, min(height, 2400))
    js('window.scrollTo(0, 0)')
    SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
    check(f'screenshot {SCREENSHOT}', driver.save_screenshot(str(SCREENSHOT)))
finally:
    driver.quit()

print(f"{results['passed']} passed, {results['failed']} failed")
sys.exit(1 if results['failed'] else 0)
