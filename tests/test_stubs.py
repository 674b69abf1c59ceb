"""The typing stubs describe exactly the module's surface; the README's example
and the demo run, and type-check against the stubs under mypy --strict."""
import ast
import importlib.util
import inspect
import os
import re
import runpy
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import zelq

ROOT = Path(__file__).resolve().parent.parent
STUB = ROOT / "src" / "zelq-stubs" / "__init__.pyi"
STUB_TREE = ast.parse(STUB.read_text(encoding="utf-8"))
STUB_CLASSES = {node.name: node for node in STUB_TREE.body if isinstance(node, ast.ClassDef)}

KINDS = {"posonlyargs": inspect.Parameter.POSITIONAL_ONLY, "args": inspect.Parameter.POSITIONAL_OR_KEYWORD,
         "kwonlyargs": inspect.Parameter.KEYWORD_ONLY}


def stub_members(cls):
    """name -> (kind, function node) of a stub class, its private stub-only bases included."""
    members = {}
    for base in cls.bases:
        if isinstance(base, ast.Name) and base.id.startswith("_"):
            members.update(stub_members(STUB_CLASSES[base.id]))
    for node in cls.body:
        if isinstance(node, ast.FunctionDef):
            decorators = {d.id for d in node.decorator_list if isinstance(d, ast.Name)}
            kind = "property" if "property" in decorators else "static" if "staticmethod" in decorators else "method"
            members[node.name] = (kind, node)
    return members


def runtime_members(cls):
    members = {}
    for name, raw in vars(cls).items():
        if name.startswith("__"):
            continue
        kind = ("static" if isinstance(raw, staticmethod) else "property" if inspect.isgetsetdescriptor(raw)
                else "method")
        members[name] = (kind, getattr(cls, name))
    return members


def stub_parameters(node, kind):
    """(name, kind, has default) per parameter; a default must be None."""
    args = node.args
    assert args.vararg is None and args.kwarg is None
    params = [(a.arg, KINDS[field]) for field in KINDS for a in getattr(args, field)]
    defaults = [None] * (len(args.posonlyargs) + len(args.args) - len(args.defaults)) + args.defaults
    defaults += args.kw_defaults
    assert all(d is None or (isinstance(d, ast.Constant) and d.value is None) for d in defaults), node.name
    for a in args.posonlyargs + args.args + args.kwonlyargs:
        assert a.annotation is not None or a.arg == "self", f"{node.name}({a.arg}) has no type"
    assert node.returns is not None, f"{node.name} has no result type"
    rows = [(name, k, d is not None) for (name, k), d in zip(params, defaults)]
    return rows[1:] if kind == "method" else rows


def runtime_parameters(function, kind):
    params = list(inspect.signature(function).parameters.values())
    if kind == "method":
        params = params[1:]
    assert all(p.default in (inspect.Parameter.empty, None) for p in params)
    return [(p.name, p.kind, p.default is not inspect.Parameter.empty) for p in params]


def test_all_and_classes_match_the_module():
    all_node = next(n for n in STUB_TREE.body if isinstance(n, ast.Assign) and n.targets[0].id == "__all__")
    assert ast.literal_eval(all_node.value) == zelq.__all__
    assert {name for name in STUB_CLASSES if not name.startswith("_")} == set(zelq.__all__)


@pytest.mark.parametrize("name", [n for n in zelq.__all__ if not issubclass(getattr(zelq, n), Exception)])
def test_class_members_match_the_module(name):
    stub, runtime = stub_members(STUB_CLASSES[name]), runtime_members(getattr(zelq, name))
    assert sorted(stub) == sorted(runtime)
    for member, (kind, node) in stub.items():
        runtime_kind, function = runtime[member]
        assert kind == runtime_kind, member
        if kind != "property":
            assert stub_parameters(node, kind) == runtime_parameters(function, kind), member


@pytest.mark.parametrize("name", [n for n in zelq.__all__ if issubclass(getattr(zelq, n), Exception)])
def test_exceptions_match_the_module(name):
    node = STUB_CLASSES[name]
    assert [ast.unparse(b) for b in node.bases] == [b.__name__ for b in getattr(zelq, name).__bases__]
    fields = [n.target.id for n in node.body if isinstance(n, ast.AnnAssign)]
    assert fields == (["reason"] if name in ("SsrfRejected", "DidResolutionError") else [])


def test_reason_is_a_str_on_raised_exceptions():
    with pytest.raises(zelq.SsrfRejected) as ssrf:
        zelq.ZelqSsrfPolicy.production().check_ip("127.0.0.1")
    with pytest.raises(zelq.DidResolutionError) as did:
        zelq.ZelqDid.web_to_url("did:key:z6Mk")
    assert isinstance(ssrf.value.reason, str) and isinstance(did.value.reason, str)


def readme_example():
    """The python block of the README section on using zelq from one's own project."""
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    section = re.search(r"^## Using zelq from your own project$(.*?)(?=^## )", readme, re.M | re.S)
    assert section, "README has no section on using zelq from one's own project"
    block = re.search(r"^```python\n(.*?)^```$", section.group(1), re.M | re.S)
    assert block, "that section has no python example"
    return block.group(1)


def test_readme_example_runs(capsys):
    exec(compile(readme_example(), "README.md", "exec"), {"__name__": "readme_example"})
    assert capsys.readouterr().out


def test_demo_runs(capsys):
    runpy.run_path(str(ROOT / "examples" / "demo.py"), run_name="__main__")
    assert "10. A stolen key" in capsys.readouterr().out


def test_demo_and_readme_example_pass_mypy_strict(tmp_path):
    assert importlib.util.find_spec("mypy"), "mypy is not installed (requirements-dev.txt lists it)"
    # mypy finds a stub-only package in site-packages only; from the source
    # tree it reads the same file as the stub of module zelq.
    shutil.copytree(STUB.parent, tmp_path / "stubs" / "zelq")
    example = tmp_path / "readme_example.py"
    example.write_text(readme_example(), encoding="utf-8")
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}  # mypy loads no zelq
    env["MYPYPATH"] = str(tmp_path / "stubs")
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
         str(ROOT / "examples" / "demo.py"), str(example)],
        capture_output=True, text=True, env=env, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
